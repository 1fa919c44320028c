#pragma once

#include "beeper.h"

class RecordingBeeper final : public Beeper {
public:
    void beep() override { ++beeps; }
    int beeps = 0;
};
