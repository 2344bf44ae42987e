// Opening documents through the host's opener: what counts as success when
// xdg-open is missing, fails, or keeps running, and what it is handed.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/Shell.h"
#include "support/TempMachine.h"

namespace {

// A PATH holding only a stand-in xdg-open with the given body.
class OpenerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* path = std::getenv("PATH");
        savedPath_ = path != nullptr ? path : "";
        bin_ = Machine.Scratch() + "/bin";
        ::mkdir(bin_.c_str(), 0755);
        setenv("PATH", bin_.c_str(), 1);
    }
    void TearDown() override { setenv("PATH", savedPath_.c_str(), 1); }

    void FakeOpener(const std::string& body) const
    {
        const std::string file = bin_ + "/xdg-open";
        std::ofstream(file) << "#!/bin/sh\n" << body << "\n";
        ::chmod(file.c_str(), 0755);
    }
    std::string Recorded() const
    {
        std::ifstream in(Machine.Scratch() + "/args");
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    TempMachine Machine;
    std::string bin_;
    std::string savedPath_;
};

TEST_F(OpenerTest, FailsWhenTheOpenerIsMissingOrFindsNoProgram)
{
    EXPECT_FALSE(platform::OpenDocument("C:\\readme.txt", "", "")) << "no xdg-open on the PATH";
    // xdg-open's status when no program handles the document.
    FakeOpener("exit 3");
    EXPECT_FALSE(platform::OpenDocument("C:\\readme.txt", "", ""));
    FakeOpener("kill -9 $$");
    EXPECT_FALSE(platform::OpenDocument("C:\\readme.txt", "", "")) << "killed by a signal";
}

TEST_F(OpenerTest, SucceedsWhenTheOpenerEndsWellOrKeepsRunning)
{
    const std::string record = Machine.Scratch() + "/args";
    FakeOpener("printf '%s\\n' \"$@\" > '" + record + "'");
    EXPECT_TRUE(platform::OpenDocument("C:\\readme.txt", "", ""));
    EXPECT_EQ(Recorded(), Machine.DriveC() + "/readme.txt\n") << "the Windows path reaches it as a host path";

    EXPECT_TRUE(platform::OpenDocument("http:\\\\www.lumenade.example", "", ""));
    EXPECT_EQ(Recorded(), "http://www.lumenade.example\n");

    // An opener that shows the document in the foreground is not waited for.
    FakeOpener("printf started > '" + record + "'; exec /bin/sleep 3");
    EXPECT_TRUE(platform::OpenDocument("C:\\readme.txt", "", ""));
    EXPECT_EQ(Recorded(), "started");
}

}  // namespace
