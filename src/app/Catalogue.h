#pragma once
// The logo warehouse catalogue: the PNG files of the warehouse folder, by
// name and size, sorted by name without regard to case.

#include <array>
#include <cstdint>
#include <string>

struct CatalogueEntry {
    std::string Name;  // file name with extension, no folder
    int32_t Size = 0;
};

inline constexpr int32_t MaxCatalogue = 5000;
inline constexpr const char* SizeColumnCaption = "Size (bytes)  ";
inline constexpr const char* WarehouseExtension = ".png";

struct CatalogueRecord {
    std::array<CatalogueEntry, MaxCatalogue> Entries;
    int32_t Count = 0;
    int32_t TotalSize = 0;
};

extern CatalogueRecord Catalogue;

void ScanWarehouse(const std::string& folder);
void SortCatalogue();
// AddBackslash(folder) + a random entry's name; empty for an empty catalogue.
std::string RandomWarehouseFile(const std::string& folder);
// "12 pictures (total size: 1.3 MB)"
std::string CatalogueSizeText();
// The size column of one entry: grouped digits right-aligned in 10, two spaces.
std::string ListSizeText(int32_t size);
// The warehouse name of an imported file: its name with the extension ".png".
std::string WarehouseName(const std::string& sourceFile);
