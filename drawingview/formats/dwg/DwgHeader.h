#pragma once

// The header variables of a DWG drawing that the document uses, read from
// the AcDb:Header section.

#include "DwgBitReader.h"
#include "DwgSections.h"

namespace dv::dwg {

struct HeaderVars {
    double ltScale = 1, celtScale = 1, pdSize = 0, textSize = 2.5;
    double dimAsz = 0.18, dimTxt = 0.18, dimScale = 1;
    int pdMode = 0, insUnits = 0, dimDec = 4, tileMode = 1, celWeight = -1;
    int measurement = -1; // -1: the file does not say
    bool psLtScale = true, lwDisplay = false;
    Point3 extMin, extMax;
    Point2 limMin, limMax{12, 9};
    uint64_t paperSpace = 0, modelSpace = 0;
    bool complete = false; // read to the end without a problem
};

// Reads what it can; a problem (cut off, bad CRC, a release not known) goes
// into `sections.problems` and leaves the rest at its defaults.
HeaderVars readHeaderVariables(Sections& sections);

// The drawing's units as its template section gives them (0 imperial,
// 1 metric), -1 where it has none or it is damaged.
int readMeasurement(const QByteArray& templ, Release release);

} // namespace dv::dwg
