#include "app/Shuffle.h"

#include <string>

#include "app/Catalogue.h"
#include "app/Composer.h"
#include "app/Dialogs.h"
#include "app/Settings.h"

void ShuffleLogos()
{
    std::string folder;
    OpenWarehouse(folder);
    ScanWarehouse(folder);
    for (int32_t index = 0; index < 3; ++index) SetLogo(RandomWarehouseFile(folder), index);
}

void ShuffleCommand(int listItems)
{
    if (listItems <= 0) return;
    Dialogs& ui = CurrentDialogs();
    ui.ShowStatus(ShuffleBusyText, true);
    ShuffleLogos();
    ui.ShowStatus(ShuffleDoneText, true);
}
