// Where "vsktool floppies" puts the part files: OUTDIR is made when missing,
// with its missing parents, and a path that cannot be a directory is one
// error line.

#include <sys/stat.h>

#include <string>

#include "tests/tools/vsktool_harness.h"

namespace {

bool is_directory(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

TEST(vsktool_floppies, OutputDirectoryIsMadeWhenMissing) {
    vsk::scratch_dir scratch;
    const std::string stream = scratch / "stream.vsk";
    vsk::spill(stream, std::string(5000, 's'));
    for (const std::string& outdir :
         {scratch / "set", scratch / "deeper/still/set", scratch / "set"}) {
        SCOPED_TRACE(outdir);
        const vsk::run_result result = vsk::run({"floppies", outdir, stream});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_TRUE(is_directory(outdir));
        EXPECT_GT(vsk::slurp(outdir + "/tarnvale.n00").size(), 5000u);
    }

    vsk::spill(scratch / "plain", "a file, not a directory");
    for (const std::string& outdir : {scratch / "plain", scratch / "plain/set"}) {
        SCOPED_TRACE(outdir);
        const vsk::run_result result = vsk::run({"floppies", outdir, stream});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err.rfind("vsktool: " + outdir + ": cannot create the directory: ", 0), 0u)
            << result.err;
        EXPECT_EQ(vsk::line_count(result.err), 1u) << result.err;
    }
}

}  // namespace
