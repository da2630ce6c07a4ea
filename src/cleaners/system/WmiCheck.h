#pragma once
// WMI script persistence: event bindings whose consumer runs a script. Only found and reported, never removed.
#include <functional>
#include <string>

#include "util/WmiBindings.h"

// 1 when a binding with a consumer that could be had was found, 0 otherwise. The query runs on a thread of
// its own while the caller waits; each binding's diagnostic lines go to `line` ("Consumer : ", "Code: " or
// "Code Path: ", "Filter : "), and so do the connection failures.
int CheckWmiScriptConsumers(WmiBindingSource& source, const std::function<void(const std::wstring&)>& line);
