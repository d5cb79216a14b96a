// The commands of the main window that open a configuration window. A window that is not built
// yet leaves its command without effect; each opener moves beside its window when it is built.
#include "gui/menu.h"

void TFormMenu::OpenSchedulingWindow() {}

void TFormMenu::OpenContactOptions() {}

void TFormMenu::OpenContactGroupOptions() {}

void TFormMenu::OpenGeneralOptions() {}

void TFormMenu::OpenNewService() {}

void TFormMenu::OpenUpdateService() {}
