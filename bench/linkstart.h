#pragma once

#include <QString>

// A start from a link clicked elsewhere, side by side with the browsers a user would pick
// instead (contenders.h): each started with the address of a documentation page served
// from loopback (docpage.h) as its one argument, timed from just before QProcess::start
// to the page's own report of its load event, as the server sees it. All run under one
// Xvfb (1280x1024, no window manager) with one session bus, one at a time, in turns
// whose order moves by one each round, after one unreported warm-up start of each; that
// one is left running 5 s after its load, so that what a browser asks for later shows
// in the server's log too. Each run starts in a fresh home. Medians, printed as FIGURE
// lines against the fastest peer. Needs the benchmark's own network namespace (root):
// without it, nothing is started.
namespace linkstart {

// ownNetwork: the benchmark runs in a network namespace of its own (ownnetwork.h).
// program: the copy of the program to start; programFolder holds it (and its history,
// removed before each run); scratch is a folder for the homes.
void measure(bool ownNetwork, const QString &program, const QString &programFolder, const QString &scratch);

} // namespace linkstart
