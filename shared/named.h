#pragma once

#include <QLatin1String>

// A new control with its design name, in the constructor's member list: tests and
// screen readers find controls by these names.
template<typename W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}
