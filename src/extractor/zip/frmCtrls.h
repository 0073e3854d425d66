#pragma once
// The hidden form that carries the zip control. It has no code and is never shown; it is
// created the first time its control is used and stays until the program ends.

#include "extractor/zip/dzactxctrl.h"

class frmCtrlsForm {
public:
    DZACTXLibCtl::dzactxctrl Zip;
};

// The program's one frmCtrls.
frmCtrlsForm& frmCtrls();
