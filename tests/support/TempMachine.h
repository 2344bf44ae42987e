#pragma once
// Gives a test its own emulated Windows machine: a fresh drive C: in a
// temporary host folder (with C:\WINDOWS\), its own registry file, and the
// platform layer reset to read them. Everything is removed afterwards.

#include <cstdint>
#include <string>
#include <vector>

class TempMachine {
public:
    TempMachine();
    ~TempMachine();
    TempMachine(const TempMachine&) = delete;
    TempMachine& operator=(const TempMachine&) = delete;

    // Host folder that drive C: maps to.
    const std::string& DriveC() const { return driveC_; }
    // Host folder for scratch files outside the emulated drive.
    const std::string& Scratch() const { return scratch_; }
    const std::string& RegistryFile() const { return registry_; }
    // Host path of a Windows path on drive C: ("C:\WINDOWS\LOGOW.SYS").
    std::string Host(const std::string& winPath) const;

    // Byte helpers on Windows paths; parent folders are created as needed.
    void WriteFile(const std::string& winPath, const std::vector<uint8_t>& bytes) const;
    void WriteText(const std::string& winPath, const std::string& text) const;
    std::vector<uint8_t> ReadFile(const std::string& winPath) const;
    bool Exists(const std::string& winPath) const;

private:
    std::string root_;
    std::string driveC_;
    std::string scratch_;
    std::string registry_;
};

// The shared third-party test data folder, or empty when it is absent.
std::string SharedTestData();
