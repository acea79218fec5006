// What the projection and elevation-info conversions to MIF-able objects share.
#ifndef HOSTCORE_PERSIST_SUPPORT_H
#define HOSTCORE_PERSIST_SUPPORT_H

#include "hostcore.h"

namespace hcore {

// Creates a design (with the designs it uses) in dictionary and returns the root; null with a
// report.
using DesignBuilder = HmifDesign* (*)(HmifDictionary* dictionary, ErrorReport** err);

// A self-contained copy of build's root design, made in a private dictionary that is gone
// afterwards; the caller destroys it with hmif_DesignDestroy. Null with a report.
HmifDesign* MakeDesign(DesignBuilder build, ErrorReport** err);

// True when design lays records out exactly as build's design does, every design it uses
// included; else false with a report under function. Records of a design that passes can be
// read through the matching structures.
bool SameLayout(const HmifDesign* design, DesignBuilder build, const char* function,
                ErrorReport** err);

// The text of a counted text: "" when empty, null when its count does not match a terminated
// text.
const char* CountedText(const Hmif_String& text);

// Stores a heap copy of text with its count (terminator included). False on heap exhaustion.
bool SetCountedText(Hmif_String* destination, const char* text);

}  // namespace hcore

#endif  // HOSTCORE_PERSIST_SUPPORT_H
