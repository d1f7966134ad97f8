#pragma once

#include <QString>

// Linux input key codes as the Qt keys an application sees.
class LinuxKeyMap
{
public:
    struct Key
    {
        int qtKey = 0;
        QString text;
    };

    // qtKey 0 for a code without a Qt key.
    static Key fromLinux(int code);
};
