// A layout document shaped like the phones' own: root, two container levels, nested items.
'use strict';

const SCREEN = { width: 540, height: 1200 };

const escapeAttribute = (value) => String(value).replace(/&/g, '&amp;').replace(/"/g, '&quot;').replace(/</g, '&lt;').replace(/>/g, '&gt;');

// An item at (x, y) of its parent, size w x h; `more` overrides or adds attributes.
const item = (name, id, x, y, w, h, more = {}, children = []) => ({ name, id, x, y, w, h, more, children });

function render(node, parentX, parentY) {
  const gx = parentX + node.x;
  const gy = parentY + node.y;
  const attributes = {
    objectName: '', text: '', x: node.x, y: node.y, z: 0, width: node.w, height: node.h,
    centerXToGlobal: gx + node.w / 2, centerYToGlobal: gy + node.h / 2,
    centerXToItem: node.x + node.w / 2, centerYToItem: node.y + node.h / 2,
    visible: 1, clip: 0, enabled: 1, focus: 0, opacity: 1, scale: 1, rotation: 0,
    tempID: node.id, hasContents: 1, ...node.more,
  };
  const text = Object.entries(attributes)
    .map(([key, value]) => key + '="' + escapeAttribute(value) + '"').join(' ');
  const inner = node.children.map((child) => render(child, gx, gy)).join('');
  return '<' + node.name + ' ' + text + (inner ? '>' + inner + '</' + node.name + '>' : '/>');
}

const XSS_TEXT = '"><img src=x onerror=alert(1)>';
const XSS_NAME = '<b onmouseover=alert(2)>o</b>';
const XSS_ID = 'temp10" onclick="alert(3)';

// Items of the demo page; `changes` maps an id to attributes that differ.
function demoItems(changes = {}) {
  const m = (id, more = {}) => ({ ...more, ...(changes[id] || {}) });
  return [
    item('QQuickRectangle', 'temp1', 0, 0, 540, 1200, m('temp1', { objectName: 'page' }), [
      item('QQuickText', 'temp2', 20, 35, 200, 50,
        m('temp2', { text: 'Hel\blo 你好', focus: 1, z: 1, objectName: 'greeting' })),
      item('QQuickItem', 'temp3', 20, 250, 500, 300, m('temp3', { hasContents: 0 }), [
        item('QQuickRectangle', 'temp4', 10, 10, 100, 100, m('temp4', { z: 2, objectName: 'red' })),
        item('QQuickRectangle', 'temp5', 150, 10, 100, 100, m('temp5', { enabled: 0, clip: 1 })),
      ]),
      item('QQuickRectangle', 'temp6', 0, 600, 540, 100, m('temp6', { visible: 0 }), [
        item('QQuickText', 'temp6a', 0, 0, 100, 20, m('temp6a', { text: 'hidden child' })),
      ]),
      item('QQuickRectangle', 'temp8', 0, 700, 540, 50, m('temp8', { opacity: 0 })),
      item('QQuickShaderEffectSource', 'temp9', 0, 750, 540, 50, m('temp9')),
      item('QQuickLoader', 'temp7', 300, 35, 200, 50, m('temp7', { z: 10000, hasContents: 0 })),
      item('QQuickText', XSS_ID, 20, 800, 400, 60,
        m(XSS_ID, { text: XSS_TEXT, objectName: XSS_NAME })),
      item('QQuickRectangle', 'temp11', 170, 900, 200, 100,
        m('temp11', { rotation: 90, scale: 0.5, clip: 1, opacity: 0.5 })),
      item('QQuickItem', 'temp12', 0, 1100, 540, 100, m('temp12', { hasContents: 0 })),
    ]),
  ];
}

// `changes` maps an id to attributes that differ.
function layoutXml(changes = {}) {
  const container = (name, items) => '<' + name + '>' + items.map((i) => render(i, 0, 0)).join('') + '</' + name + '>';
  return '<?xml version="1.0" encoding="UTF-8" ?><root createTime="2024-05-01 10:00:00" sopId="com.orvana.demo.form" uiAppId="form">'
    + '<QQuickWindowQmlImpl>' + container('QQuickRootItem', demoItems(changes))
    + container('QQuickOverlay', [item('QQuickRectangle', 'temp13', 100, 1000, 340, 80, changes.temp13 || {})])
    + '</QQuickWindowQmlImpl></root>';
}

// Ids of the items that get a box (the others are hidden, or in a hidden subtree).
const VISIBLE_IDS = ['temp1', 'temp2', 'temp3', 'temp4', 'temp5', 'temp7', XSS_ID, 'temp11',
  'temp12', 'temp13'];
const UNMARKED_IDS = ['temp3', 'temp12'];

module.exports = {
  SCREEN, layoutXml, VISIBLE_IDS, UNMARKED_IDS, XSS_TEXT, XSS_NAME, XSS_ID,
};
