// Machine-readable output of lumenade-cli: list --json and the error objects
// of info --json, read back by Python's json module as a script would.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "support/HostTools.h"
#include "support/TempMachine.h"

namespace {

using Strings = std::vector<std::string>;

struct Result {
    int Status;
    std::string Out;
    std::string Err;
};

class CliJson : public ::testing::Test {
protected:
    Result Cli(const Strings& args)
    {
        std::ostringstream out, err;
        Strings all{"--registry", Machine.RegistryFile()};
        all.insert(all.end(), args.begin(), args.end());
        const int status = RunCli(all, out, err);
        return {status, out.str(), err.str()};
    }

    // Python's reading of a JSON text, printed as `expression` evaluates on
    // it (as `data`); fails the test when the text is not valid JSON.
    std::string Python(const std::string& json, const std::string& expression)
    {
        if (!hosttools::HavePillow()) return "<no python>";
        const std::string file = Machine.Scratch() + "/out.json";
        hosttools::WriteHost(file, hosttools::Bytes(json.begin(), json.end()));
        std::string output;
        EXPECT_TRUE(hosttools::RunPython("import json\nlines = open('" + file +
                                             "', encoding='utf-8').read().splitlines()\n"
                                             "data = [json.loads(l) for l in lines] if len(lines) > 1 and "
                                             "lines[0] != '{' else json.loads('\\n'.join(lines))\n"
                                             "print(" +
                                             expression + ", end='')\n",
                                         output))
            << json;
        return output;
    }

    void Picture(const std::string& name, size_t bytes)
    {
        Machine.WriteFile(Warehouse + name, std::vector<uint8_t>(bytes, 0x55));
    }

    TempMachine Machine;
    const std::string Warehouse = "C:\\program files\\common files\\lumenadelogos\\";
};

TEST_F(CliJson, ListGivesEveryPictureWithBothPathsAndTheTotals)
{
    if (!hosttools::HavePillow()) GTEST_SKIP() << "Debian's python3 is missing";
    Picture("sea side.png", 1200);
    Picture("quote\"mark.png", 34);
    Picture("\xc3\xa9t\xc3\xa9.png", 5);  // "été" in UTF-8
    const Result r = Cli({"list", "--json"});
    ASSERT_EQ(r.Status, ExitOk) << r.Err;
    const std::string folder = Machine.DriveC() + "/program files/common files/lumenadelogos/";

    EXPECT_EQ(Python(r.Out, "[p['name'] for p in data['pictures']]"), "['quote\"mark.png', 'sea side.png', 'été.png']");
    EXPECT_EQ(Python(r.Out, "[p['size'] for p in data['pictures']]"), "[34, 1200, 5]");
    EXPECT_EQ(Python(r.Out, "data['pictures'][1]['host_path']"), folder + "sea side.png");
    EXPECT_EQ(Python(r.Out, "data['pictures'][1]['windows_path']"),
              "c:\\program files\\common files\\lumenadelogos\\sea side.png");
    EXPECT_EQ(Python(r.Out, "data['pictures'][2]['host_path']"), folder + "été.png");
    EXPECT_EQ(Python(r.Out, "data['totals']"), "{'count': 3, 'size': 1239}");

    // The plain list keeps its layout and its rounded total.
    const Result plain = Cli({"list"});
    EXPECT_NE(plain.Out.find("sea side.png"), std::string::npos);
    EXPECT_NE(plain.Out.find("1,200\n"), std::string::npos) << plain.Out;
}

TEST_F(CliJson, ListOfAnEmptyOrMissingWarehouseIsStillAnObject)
{
    if (!hosttools::HavePillow()) GTEST_SKIP() << "Debian's python3 is missing";
    const Result r = Cli({"list", "--json"});
    EXPECT_EQ(r.Status, ExitOk) << r.Err;
    EXPECT_EQ(Python(r.Out, "data"), "{'pictures': [], 'totals': {'count': 0, 'size': 0}}");

    const struct {
        Strings Args;
        const char* Complaint;
    } wrong[] = {
        {{"list", "--json=yes"}, "unknown option \"--json\""},
        {{"list", "--xml"}, "unknown option \"--xml\""},
        {{"list", "--json", "extra"}, "takes no arguments"},
    };
    for (const auto& w : wrong) {
        const Result bad = Cli(w.Args);
        EXPECT_EQ(bad.Status, ExitUsage) << w.Args.back();
        EXPECT_NE(bad.Err.find(w.Complaint), std::string::npos) << bad.Err;
        EXPECT_EQ(bad.Out, "");
    }
}

TEST_F(CliJson, InfoGivesAnErrorObjectInPlaceOfAFileItCannotRead)
{
    if (!hosttools::HavePillow()) GTEST_SKIP() << "Debian's python3 is missing";
    Machine.WriteText("C:\\notes.xyz", "text");
    Machine.WriteFile("C:\\broken.bmp", {'B', 'M', 1, 2});
    Machine.WriteFile("C:\\fine.ppm", {'P', '6', '\n', '1', ' ', '1', '\n', '2', '5', '5', '\n', 1, 2, 3});
    const Result r = Cli({"info", "--json", "C:\\missing.png", "C:\\notes.xyz", "C:\\broken.bmp", "C:\\fine.ppm"});
    EXPECT_EQ(r.Status, ExitFailed) << "a file that cannot be described fails the run";
    EXPECT_EQ(Python(r.Out, "len(data)"), "4") << "one line for each file, in order:\n" << r.Out;
    EXPECT_EQ(Python(r.Out, "[d['file'] for d in data]"),
              "['C:\\\\missing.png', 'C:\\\\notes.xyz', 'C:\\\\broken.bmp', 'C:\\\\fine.ppm']");
    EXPECT_EQ(Python(r.Out, "[sorted(d) for d in data[:3]]"),
              "[['error', 'file'], ['error', 'file'], ['error', 'file']]");
    EXPECT_EQ(Python(r.Out, "[type(d['error']['code']).__name__ for d in data[:3]]"), "['int', 'int', 'int']");
    EXPECT_EQ(Python(r.Out, "data[1]['error']"), "{'code': 6001, 'string': 'Format not supported (\"notes.xyz\")'}");
    EXPECT_EQ(Python(r.Out, "data[0]['error']['code']"), "5001");
    EXPECT_EQ(Python(r.Out, "[data[3]['format'], data[3]['width']]"), "['PNM', 1]");
    // The same reasons reach a person on standard error.
    EXPECT_NE(r.Err.find("Format not supported (\"notes.xyz\")"), std::string::npos) << r.Err;

    const Result plain = Cli({"info", "C:\\notes.xyz"});
    EXPECT_EQ(plain.Out, "") << "without --json the error goes to standard error only";
}

}  // namespace
