// Loaded before main.js in Firefox (which Playwright cannot drive here): exercises the page
// once its first refresh is done and posts what it saw to "/report".
'use strict';
(function () {
  const $ = (id) => document.getElementById(id);
  const alerts = [];
  window.alert = (message) => alerts.push(String(message));
  const report = (result) => fetch('report', { method: 'POST', body: JSON.stringify(result) });
  const mouse = (type, target, init) => target.dispatchEvent(new MouseEvent(type,
    Object.assign({ bubbles: true, cancelable: true, view: window }, init)));
  const started = Date.now();

  function probe() {
    const result = { ids: [...document.querySelectorAll('#surface .item')].map((b) => b.id) };
    result.xpath = $('temp5').dataset.xpath;
    result.pointerEvents = getComputedStyle($('temp3')).pointerEvents;
    $('temp5').click();
    result.clicked = ['classname', 'itemx', 'itemcx', 'itemclip', 'itemenabled']
      .map((id) => $(id).value);
    result.border = $('temp5').style.border;
    $('xpathinput').value = '//QQuickRectangle[@objectName="red"]';
    $('search').click();
    result.searched = $('objectname').value;
    $('xpathinput').value = '//QQuickNothing';
    $('search').click();
    const xss = document.querySelector('[data-classname="QQuickText"][data-text^="\\""]');
    xss.click();
    result.markupText = $('itemtext').value;
    result.markupName = $('objectname').value;
    result.images = document.querySelectorAll('#surface img').length;

    mouse('mousedown', $('home'), { button: 0 });
    mouse('mouseup', document.body, { button: 0 });
    const surface = $('surface').getBoundingClientRect();
    mouse('mousedown', document.body,
      { button: 2, clientX: surface.left + 50, clientY: surface.top + 100 });
    mouse('mouseup', document.body,
      { button: 2, clientX: surface.left + 50, clientY: surface.top + 100 });
    $('commitstringinput').value = 'a&b #c+d 中文';
    $('sendcommitstring').click();
    result.factor = 1200 / surface.height;
    result.alerts = alerts;
    // let the input requests go out before the report lets the page finish loading
    setTimeout(() => report(result), 500);
  }

  (function waitForBoxes() {
    if (document.querySelector('#surface .item') && !$('refbtn').disabled) {
      try {
        probe();
      } catch (error) {
        report({ error: String(error) });
      }
    } else if (Date.now() - started > 15000) {
      report({ error: 'no boxes' });
    } else {
      setTimeout(waitForBoxes, 50);
    }
  }());
}());
