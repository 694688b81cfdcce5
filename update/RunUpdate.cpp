#include "update/CUpdateDlg.h"

void CUpdateDlg::RunUpdate() {
    // The stages of an update come with the import layer; until then a run
    // connects, steps once and shuts down.
}
