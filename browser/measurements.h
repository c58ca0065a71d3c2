#pragma once

// What the document windows measure and the tools panel shows: one copy for the whole
// program, shared by every window, outliving the tools panel.
struct Measurements
{
    bool LinkPingEnabled = false;
};
