#include "keyinput.h"

#include "audiocontrol.h"
#include "phone.h"
#include "screenlink.h"
#include "systemlog.h"

#include <QStringList>

namespace {
const int kKeyVolumeDown = 114;
const int kKeyVolumeUp = 115;
const int kKeyPower = 116;

const char* typeName(int type)
{
    switch (type) {
    case 0:
        return "release";
    case 1:
        return "press";
    case 2:
        return "repeat";
    default:
        return "unknown";
    }
}

bool strictInt(const QString& text, int* value)
{
    bool ok = false;
    *value = text.toInt(&ok);
    return ok && !text.isEmpty() && text.trimmed() == text && !text.startsWith(QLatin1Char('+'));
}
}

KeyInput::KeyInput(Phone* phone, AudioControl* audio)
    : m_phone(phone)
    , m_audio(audio)
{
}

void KeyInput::sendInputKey(int type, int code)
{
    m_phone->log()->write(QStringLiteral("key %1 %2").arg(code).arg(QLatin1String(typeName(type))));
    const bool down = type == 1 || type == 2;
    if (code == kKeyPower) {
        if (type == 1)
            m_phone->setDisplayState(m_phone->displayState() == Phone::DisplayOff ? Phone::DisplayOn : Phone::DisplayOff);
    } else if (code == kKeyVolumeUp || code == kKeyVolumeDown) {
        if (down) {
            const int step = m_audio->stepActive(code == kKeyVolumeUp ? 1 : -1);
            m_phone->showToast(QStringLiteral("Volume %1/%2").arg(step).arg(m_audio->volumeSteps()));
        }
    } else {
        m_phone->screen()->send(QStringLiteral("sendKey"), {type, code});
    }
}

bool KeyInput::sendKeyEvent(const QString& text)
{
    // The text field may itself hold commas: three fields from the left, two from the right.
    const QStringList fields = text.split(QLatin1Char(','));
    int type = 0, key = 0, modifiers = 0;
    if (fields.size() < 6 || !strictInt(fields[0], &type) || !strictInt(fields[1], &key)
        || !strictInt(fields[2], &modifiers)) {
        m_phone->log()->write(QStringLiteral("malformed key event \"%1\" ignored").arg(text));
        return false;
    }
    const QString autorepeat = fields[fields.size() - 2];
    const QString keyText = fields.mid(3, fields.size() - 5).join(QLatin1Char(','));
    m_phone->log()->write(QStringLiteral("key event type %1 key %2").arg(type).arg(key));
    m_phone->screen()->send(QStringLiteral("sendKeyEvent"),
                            {type, key, modifiers, keyText, autorepeat == QLatin1String("true")});
    return true;
}
