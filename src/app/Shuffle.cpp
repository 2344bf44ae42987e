#include "app/Shuffle.h"

#include "app/Backup.h"
#include "app/Catalogue.h"
#include "app/Composer.h"
#include "app/Dialogs.h"
#include "app/LogoStatus.h"
#include "app/Settings.h"

bool ShuffleLogos(std::vector<std::string>* failures)
{
    std::vector<std::string> found;
    std::string folder;
    OpenWarehouse(folder);
    ScanWarehouse(folder);
    for (int32_t index = 0; index < LogoCount; ++index) {
        std::string why;
        if (!BackupLogo(LogoPath(index), &why)) found.push_back("No logo was changed: " + why);
    }
    if (found.empty()) {
        for (int32_t index = 0; index < LogoCount; ++index) {
            std::string why;
            const bool animated = index == LogoStartup && Settings.AnimatedBar;
            if (!MakeLogo(RandomWarehouseFile(folder), LogoPath(index), LogoMessages(index), &why, animated))
                found.push_back("Couldn't set the " + std::string(LogoWords[index]) + " logo: " + why);
        }
    }
    if (failures != nullptr) *failures = found;
    return found.empty();
}

bool ShuffleCommand(int listItems)
{
    if (listItems <= 0) return false;
    Dialogs& ui = CurrentDialogs();
    ui.ShowStatus(ShuffleBusyText, true);
    std::vector<std::string> failures;
    const bool ok = ShuffleLogos(&failures);
    for (const std::string& failure : failures) ui.ErrorBox(failure);
    if (ok) ui.ShowStatus(ShuffleDoneText, true);
    return ok;
}
