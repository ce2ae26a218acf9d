// Our documents read by readers we did not write: ImageMagick (installed by
// scripts/install-deps) and a PSD parser from npm (installed into the build
// folder by scripts/install-node-tools when node is there).
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "../support/programs.h"
#include "../support/temp_home.h"
#include "export/psd_writer.h"
#include "synthetic_layers.h"

namespace tv::test {
namespace {

class PsdReadersTest : public TempHome {
protected:
    std::string write(int32_t depth, int32_t w = 37, int32_t h = 21) {
        const std::string file = path("doc" + std::to_string(depth) + ".psd");
        PsdDescription d = psdDescription(w, h, depth);
        SyntheticLayers layers;
        layers.width = w;
        layers.height = h;
        layers.bytesPerChannel = d.bytesPerChannel;
        EXPECT_EQ(writePsdDocument(file, d, layers.source()), 0);
        return file;
    }
};

TEST_F(PsdReadersTest, ImageMagickReadsEveryLayerWithItsNameAndSize) {
    if (!haveProgram("identify")) GTEST_SKIP() << "ImageMagick's identify is not installed";
    for (int32_t depth : {8, 16}) {
        const std::string file = write(depth);
        std::string out;
        ASSERT_EQ(runCommand("identify -format '%l|%w|%h|%z\\n' '" + file + "' 2>/dev/null", &out), 0) << depth;
        std::istringstream lines(out);
        std::string line;
        std::vector<std::string> got;
        while (std::getline(lines, line)) got.push_back(line);
        ASSERT_EQ(got.size(), 12u) << out;  // the composite, then the layers
        EXPECT_EQ(got[0], "|37|21|" + std::to_string(depth));
        for (size_t i = 0; i < 11; ++i)
            EXPECT_EQ(got[i + 1], std::string(kLayerNames[i]) + "|37|21|" + std::to_string(depth));
    }
}

TEST_F(PsdReadersTest, NpmParserReadsEightSixteenAndThirtyTwoBitDocuments) {
    const std::string modules = std::string(TV_BINARY_DIR) + "/node/node_modules";
    if (!haveProgram("node")) GTEST_SKIP() << "node is not installed";
    if (!std::filesystem::exists(modules + "/ag-psd")) GTEST_SKIP() << "ag-psd is not installed in " << modules;
    const std::string script = std::string(TV_SOURCE_DIR) + "/tests/export/read_psd.js";
    for (int32_t depth : {8, 16, 32}) {
        const std::string file = write(depth, 5, 3);
        std::string out;
        ASSERT_EQ(runCommand("NODE_PATH='" + modules + "' node '" + script + "' '" + file + "' 2>&1", &out), 0) << out;
        EXPECT_NE(out.find("\"width\":5,\"height\":3,\"bitsPerChannel\":" + std::to_string(depth)), std::string::npos)
            << out;
        EXPECT_NE(out.find("\"channels\":" + std::string(depth == 16 ? "4" : "3")), std::string::npos) << out;
        size_t at = 0;
        for (const char* name : kLayerNames) {
            const std::string entry = std::string("{\"name\":\"") + name + "\",\"width\":5,\"height\":3,\"pixels\":60";
            const size_t found = out.find(entry, at);
            ASSERT_NE(found, std::string::npos) << name << " in " << out;
            at = found + 1;  // in order, bottom to top
        }
    }
}

}  // namespace
}  // namespace tv::test
