#pragma once

#include <QString>

class AudioControl;
class Phone;

// Key input that reaches the compositor: the power and volume keys are the compositor's own,
// every other key goes on to the top application through orvana-screen.
class KeyInput
{
public:
    KeyInput(Phone* phone, AudioControl* audio);

    // A kernel input event: type 1 press, 0 release, 2 repeat; a Linux key code.
    void sendInputKey(int type, int code);
    // A Qt key event as "type,key,modifiers,text,autorepeat,count". False when malformed.
    bool sendKeyEvent(const QString& text);

private:
    Phone* m_phone;
    AudioControl* m_audio;
};
