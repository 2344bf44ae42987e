#include "app/Catalogue.h"

#include <cstdio>
#include <limits>
#include <utility>

#include "app/Settings.h"
#include "platform/Files.h"
#include "platform/Paths.h"

CatalogueRecord Catalogue;

namespace {

constexpr int32_t SizeFieldWidth = 10;

// Byte-wise unsigned comparison of names upper-cased in a-z only.
int CompareNames(const std::string& a, const std::string& b)
{
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        auto ca = static_cast<unsigned char>(a[i]);
        auto cb = static_cast<unsigned char>(b[i]);
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

void QuickSort_(int32_t low, int32_t high)
{
    auto& e = Catalogue.Entries;
    do {
        int32_t i = low;
        int32_t j = high;
        const std::string pivot = platform::UpperAZ(e[(low + high) / 2].Name);
        do {
            while (CompareNames(platform::UpperAZ(e[i].Name), pivot) < 0) ++i;
            while (CompareNames(platform::UpperAZ(e[j].Name), pivot) > 0) --j;
            if (i <= j) {
                std::swap(e[i], e[j]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (low < j) QuickSort_(low, j);
        low = i;
    } while (low < high);
}

std::string Grouped(uint32_t value)
{
    std::string digits = std::to_string(value);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

}  // namespace

void ScanWarehouse(const std::string& folder)
{
    Catalogue.Count = 0;
    Catalogue.TotalSize = 0;
    for (const auto& found : platform::FindFiles(AddBackslash(folder) + "*" + WarehouseExtension)) {
        if (Catalogue.Count >= MaxCatalogue) break;
        // A folder, device or link named like a picture is not one.
        if (!found.Regular) continue;
        // Sizes and the total are 32-bit; a huge file saturates rather than wraps.
        constexpr int64_t Max = std::numeric_limits<int32_t>::max();
        auto size = static_cast<int32_t>(found.Size > Max ? Max : (found.Size < 0 ? 0 : found.Size));
        CatalogueEntry& entry = Catalogue.Entries[Catalogue.Count];
        entry.Name = found.Name;
        entry.Size = size;
        int64_t total = static_cast<int64_t>(Catalogue.TotalSize) + size;
        Catalogue.TotalSize = static_cast<int32_t>(total > Max ? Max : total);
        ++Catalogue.Count;
    }
    SortCatalogue();
}

void SortCatalogue()
{
    if (Catalogue.Count > 1) QuickSort_(0, Catalogue.Count - 1);
}

std::string RandomWarehouseFile(const std::string& folder)
{
    if (Catalogue.Count <= 0) return {};
    return AddBackslash(folder) + Catalogue.Entries[RandomInt(Catalogue.Count)].Name;
}

std::string CatalogueSizeText()
{
    char megabytes[32];
    std::snprintf(megabytes, sizeof megabytes, "%.1f", (Catalogue.TotalSize / 1024) * (1.0 / 1024));
    std::string word = Catalogue.Count == 1 ? "picture" : "pictures";
    return std::to_string(Catalogue.Count) + " " + word + " (total size: " + megabytes + " MB)";
}

std::string ListSizeText(int32_t size)
{
    std::string text = Grouped(static_cast<uint32_t>(size));
    if (static_cast<int32_t>(text.size()) < SizeFieldWidth) text.insert(0, SizeFieldWidth - text.size(), ' ');
    return text + "  ";
}

std::string WarehouseName(const std::string& sourceFile)
{
    size_t slash = sourceFile.find_last_of("\\/:");
    std::string name = slash == std::string::npos ? sourceFile : sourceFile.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.erase(dot);
    return name + WarehouseExtension;
}
