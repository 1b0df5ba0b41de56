// The File menu's load and save commands.
#include "frmMain.h"

void frmMain::mnuFileOpen_Click() {}

void frmMain::mnuFileSave_Click() {}
