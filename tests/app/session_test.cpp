// One writer at a time: a second command waits for the first, then gives up
// with a message, and sessions nest.

#include "app/WriteSession.h"

#include <gtest/gtest.h>

#include "ScriptedDialogs.h"
#include "app/Backup.h"
#include "app/Settings.h"
#include "platform/Paths.h"
#include "platform/WholeFile.h"
#include "support/TempMachine.h"

TEST(WriteSession, ASecondWriterIsToldLumenadeIsBusy)
{
    TempMachine m;
    ScriptedDialogs ui;
    SetDialogs(&ui);
    const int other = platform::LockHostFile(platform::RegistryFile() + ".lock", 0);
    ASSERT_GE(other, 0);
    bool ran = false;
    EXPECT_FALSE(InWriteSession([&] { ran = true; }, 0));
    EXPECT_FALSE(ran);
    EXPECT_EQ(ui.Errors, std::vector<std::string>{"Lumenade is busy: another command is running."});
    // InWriteSession waits its few seconds; the other holder lets go meanwhile.
    platform::UnlockHostFile(other);
    EXPECT_TRUE(InWriteSession([&] { ran = true; }));
    EXPECT_TRUE(ran);

    const int again = platform::LockHostFile(platform::RegistryFile() + ".lock", 0);
    ASSERT_GE(again, 0);
    WriteSession busy(0);
    EXPECT_FALSE(busy.Held());
    platform::UnlockHostFile(again);
    SetDialogs(nullptr);
}

TEST(WriteSession, NestedSessionsShareTheOuterLockAndTheBackupFolderIsLockedToo)
{
    TempMachine m;
    Settings = SettingsRecord{};
    LoadSettings(false);
    {
        WriteSession outer(0);
        ASSERT_TRUE(outer.Held());
        {
            WriteSession inner(0);
            EXPECT_TRUE(inner.Held());
        }
        std::string why;
        ASSERT_TRUE(BackupLogo(LogoPath(LogoStartup), &why)) << why;
        // Another process would find both locks taken.
        EXPECT_EQ(platform::LockHostFile(platform::RegistryFile() + ".lock", 0), platform::LockBusy);
        EXPECT_EQ(platform::LockHostFile(platform::HostPath(BackupFolder() + "lumenade.lock"), 0), platform::LockBusy);
    }
    const int free = platform::LockHostFile(platform::RegistryFile() + ".lock", 0);
    EXPECT_GE(free, 0);
    platform::UnlockHostFile(free);
}
