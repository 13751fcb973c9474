// The sender that Dolphin and Thunar run, as a separate program against the
// recording stand-in of the program.
#include "RecordingService.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using ctxmenu_test::RecordingService;

namespace {

struct RunResult {
    int nExit = -1;
    std::string strErr;
};

RunResult RunSender(const std::vector<std::string>& args, const std::string& strCwd = "/") {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(CLIPVAULT_SEND_FILES));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    RunResult result;
    gchar* pszErr = nullptr;
    gint nStatus = 0;
    GError* pError = nullptr;
    if (!g_spawn_sync(strCwd.c_str(), argv.data(), nullptr, G_SPAWN_STDOUT_TO_DEV_NULL, nullptr, nullptr, nullptr,
                      &pszErr, &nStatus, &pError)) {
        ADD_FAILURE() << pError->message;
        g_error_free(pError);
        return result;
    }
    if (WIFEXITED(nStatus)) result.nExit = WEXITSTATUS(nStatus);
    result.strErr = pszErr ? pszErr : "";
    g_free(pszErr);
    return result;
}

std::string MakeTempDir() {
    gchar* psz = g_dir_make_tmp("ctxmenu-send-XXXXXX", nullptr);
    std::string str = psz ? psz : "";
    g_free(psz);
    return str;
}

}  // namespace

TEST(SendFiles, HandsAbsolutePathsOverInOrder) {
    RecordingService service;
    ASSERT_TRUE(service.Started());
    const std::string strDir = MakeTempDir();
    ASSERT_FALSE(strDir.empty());
    const RunResult run = RunSender({"notes/a.txt", "/srv/b c.htm", "./d.pdf"}, strDir);
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(run.strErr, "");
    ASSERT_TRUE(service.WaitForCalls(1, 5000));
    const auto calls = service.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].paths, (std::vector<std::string>{strDir + "/notes/a.txt", "/srv/b c.htm", strDir + "/d.pdf"}));
    g_rmdir(strDir.c_str());

    // After "--" a name that looks like an option is a file.
    const RunResult dashed = RunSender({"--", "-x.txt"}, "/tmp");
    EXPECT_EQ(dashed.nExit, 0) << dashed.strErr;
    ASSERT_TRUE(service.WaitForCalls(2, 5000));
    EXPECT_EQ(service.Calls()[1].paths, std::vector<std::string>{"/tmp/-x.txt"});
}

TEST(SendFiles, BadUsageAndAMissingProgramAreReported) {
    EXPECT_EQ(RunSender({}).nExit, 2);
    EXPECT_EQ(RunSender({"--frobnicate", "/a"}).nExit, 2);
    EXPECT_EQ(RunSender({""}).nExit, 2);

    const RunResult failed = RunSender({"/a/b.txt"});
    EXPECT_EQ(failed.nExit, 1);
    EXPECT_NE(failed.strErr.find("could not hand the files to Clipvault"), std::string::npos) << failed.strErr;
    EXPECT_EQ(failed.strErr.find('\n'), failed.strErr.size() - 1) << "one line: " << failed.strErr;

    RecordingService service(RecordingService::Kind::WithoutMember);
    ASSERT_TRUE(service.Started());
    EXPECT_EQ(RunSender({"/a/b.txt"}).nExit, 1);
}
