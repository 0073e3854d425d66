#include "extractor/zip/frmCtrls.h"

frmCtrlsForm& frmCtrls() {
    static frmCtrlsForm form;
    return form;
}
