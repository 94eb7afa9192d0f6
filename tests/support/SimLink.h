// An instrument link connected to the in-process simulator over a pseudo-terminal.
#pragma once

#include "InstrumentLink.h"
#include "Simulator.h"

#include <gtest/gtest.h>

class SimLinkTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Sim.Start()) << Sim.Error();
        Link.Port = std::make_unique<TCommPort>();
        ASSERT_TRUE(Link.Port->Open(Sim.DevicePath(), 19200, 256)) << Link.Port->ErrorText();
    }

    // Changes the instrument's memory as a test needs it.
    template <typename Change>
    void Edit(Change change)
    {
        trelvo::sim::TImage image = Sim.Image();
        change(image);
        Sim.SetImage(image);
    }

    trelvo::sim::TSimulator Sim;
    TInstrumentLink Link;
};
