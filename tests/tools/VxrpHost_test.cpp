// The vxrp program run as a user runs it, on protocol files, histograms and
// DICOM files the tests write. Expected entries are worked out by hand from
// the protocol below, never asked of the library.

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/DicomTestFiles.h"
#include "tools/VxrpTestRun.h"

namespace {

using vxrp_host_test::ReadText;
using vxrp_host_test::RunResult;
using vxrp_host_test::RunVxrp;
using vxrp_host_test::TempDir;

// Maximum opacity 0.8. Class 1, blue (0, 0, 250) everywhere, relative opacity
// 1 up to position 0.2, falling to 0 at 0.25. Class 2, red (200, 0, 0)
// everywhere, 0 up to 0.25, rising to 1 at 0.5. An opaque entry therefore has
// alpha trunc(0.8 * 255 + 0.5) = 204 (0xcc); on 12-bit CT data (intercept
// -1024) position w is (HU + 1024) / 4095.
constexpr const char* kTwoClasses = R"(<?xml version="1.0" encoding="UTF-8"?>
<cfg_tree format="1">
  <node name="test_two">
    <string name="name" value="Two test classes" />
    <string name="max_opacity" value="0.8" />
    <int name="lighting" value="0" />
    <node name="class1">
      <string name="name" value="blue" />
      <int name="allow_windowing" value="1" />
      <node name="op_graph">
        <string name="point01_x" value="0" />
        <string name="point01_y" value="1" />
        <string name="point02_x" value="0.2" />
        <string name="point02_y" value="1" />
        <string name="point03_x" value="0.25" />
        <string name="point03_y" value="0" />
        <string name="point04_x" value="1" />
        <string name="point04_y" value="0" />
        <string name="max_opacity" value="1" />
        <string name="type" value="trapeze" />
      </node>
      <node name="color_point01">
        <int name="r" value="0" />
        <int name="g" value="0" />
        <int name="b" value="250" />
        <string name="value" value="0" />
      </node>
    </node>
    <node name="class2">
      <string name="name" value="red" />
      <int name="allow_windowing" value="1" />
      <node name="op_graph">
        <string name="point01_x" value="0" />
        <string name="point01_y" value="0" />
        <string name="point02_x" value="0.25" />
        <string name="point02_y" value="0" />
        <string name="point03_x" value="0.5" />
        <string name="point03_y" value="1" />
        <string name="point04_x" value="1" />
        <string name="point04_y" value="1" />
        <string name="max_opacity" value="1" />
        <string name="type" value="trapeze" />
      </node>
      <node name="color_point01">
        <int name="r" value="200" />
        <int name="g" value="0" />
        <int name="b" value="0" />
        <string name="value" value="0" />
      </node>
    </node>
    <node name="tissue_place_holders" />
  </node>
</cfg_tree>
)";

constexpr unsigned int kBlue = 0x0000facc;
constexpr unsigned int kRed = 0xc80000cc;

// The "hex" listing as raw value -> entry, in listing order.
std::vector<std::pair<long, unsigned int>> parse_hex(const std::string& text) {
    std::vector<std::pair<long, unsigned int>> entries;
    std::istringstream in(text);
    long raw = 0;
    std::string hex;
    while (in >> raw >> hex) {
        entries.emplace_back(raw, static_cast<unsigned int>(std::stoul(hex, nullptr, 16)));
    }
    return entries;
}

class VxrpHost : public ::testing::Test {
  protected:
    RunResult Run(const std::vector<std::string>& args) { return RunVxrp(args, m_Dir.Path()); }
    std::string Protocol() { return m_Dir.Write("two.xml", kTwoClasses); }
    // The hex listing of a table; the run must succeed quietly.
    std::vector<std::pair<long, unsigned int>> Table(std::vector<std::string> args) {
        args.insert(args.begin(), "table");
        args.insert(args.end(), {"--format", "hex"});
        const RunResult result = Run(args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.err, "");
        return parse_hex(result.out);
    }

    TempDir m_Dir;
};

TEST_F(VxrpHost, TableHoldsTheHandComputedEntriesAtChosenHounsfieldValues) {
    const auto table = Table({Protocol()});
    ASSERT_EQ(table.size(), 4096u);
    EXPECT_EQ(table.front().first, 0);
    EXPECT_EQ(table.back().first, 4095);
    struct Entry {
        int hu;
        unsigned int entry;
    };
    const Entry expected[] = {
        {-1000, kBlue},  // w 0.0059: only the blue class
        // w 901/4095 = 0.2200: blue at (0.25 - w) / 0.05 = 0.5995 -> alpha trunc(122.3 + 0.5)
        {-123, 0x0000fa7a},
        // w 1824/4095 = 0.4454: red at (w - 0.25) / 0.25 = 0.7817 -> alpha trunc(159.5 + 0.5)
        {800, 0xc800009f},
        {2000, kRed},  // w 0.7385: only the red class
    };
    for (const Entry& e : expected) {
        EXPECT_EQ(table[static_cast<std::size_t>(e.hu + 1024)].second, e.entry) << e.hu << " HU";
    }
}

TEST_F(VxrpHost, TableFormatsPrintBinaryAndOutputFileAgree) {
    const std::string protocol = Protocol();
    // One bit: raw 0 is the start of the range (blue), raw 1 its end (red).
    const RunResult print = Run({"table", protocol, "--bits", "1"});
    EXPECT_EQ(print.exitCode, 0);
    EXPECT_EQ(print.out,
              "0\t0.000000\t204\t0\t0\t250\tfacc\n"
              "1\t1.000000\t204\t200\t0\t0\tc80000cc\n"
              "-------------------------------------\n");
    const RunResult toFile = Run({"table", protocol, "--bits", "1", "-o", "dump.txt"});
    EXPECT_EQ(toFile.exitCode, 0);
    EXPECT_EQ(toFile.out, "");
    EXPECT_EQ(ReadText(m_Dir.Path() / "dump.txt"), print.out);

    const RunResult binary = Run({"table", protocol, "--format", "binary", "-o", "t.bin"});
    EXPECT_EQ(binary.exitCode, 0);
    const std::string bytes = ReadText(m_Dir.Path() / "t.bin");
    ASSERT_EQ(bytes.size(), 4096u * 4);
    auto word = [&](std::size_t k) {
        unsigned int w = 0;
        for (std::size_t b = 0; b < 4; ++b) {
            w |= static_cast<unsigned int>(static_cast<unsigned char>(bytes[4 * k + b])) << (8 * b);
        }
        return w;
    };
    EXPECT_EQ(word(24), kBlue);   // -1000 HU
    EXPECT_EQ(word(3024), kRed);  // 2000 HU
}

TEST_F(VxrpHost, SixteenBitSignedTableRunsFromTheLowestRawValue) {
    // Slope 0.5: start -1024 - 16384, end -1024 + 16383, range 32767.
    const auto table = Table({Protocol(), "--bits", "16", "--signed", "--slope", "0.5"});
    ASSERT_EQ(table.size(), 65536u);
    EXPECT_EQ(table.front(), std::make_pair(-32768L, kBlue));
    EXPECT_EQ(table.back(), std::make_pair(32767L, kRed));
    // raw -6556: v = -3278 - 1024 + 17408 = 13106, w = 0.39998, red 0.5999 -> alpha 122
    EXPECT_EQ(table[32768 - 6556].second, 0xc800007au);
}

TEST_F(VxrpHost, TableTakesBitsSignednessAndRescaleValuesFromADicomHeader) {
    vxrp_test::DicomFileContent content = vxrp_test::ct_like_content("-2000.7", "0.5");
    content.bitsStored = 16;
    content.pixelRepresentation = 1;
    const std::filesystem::path file = m_Dir.Path() / "ct.dcm";
    ASSERT_TRUE(vxrp_test::write_dicom_file(file, content));
    // Hounsfield data: w = (trunc(raw * 0.5 - 2000) + 1024) / 4119, the
    // intercept truncated to -2000.
    const auto table = Table({Protocol(), "--dicom", file.string(), "--hounsfield"});
    ASSERT_EQ(table.size(), 65536u);
    EXPECT_EQ(table.front().first, -32768);
    EXPECT_EQ(table[32768 + 2000].second, kBlue);  // -1000 HU
    EXPECT_EQ(table[32768 + 8000].second, kRed);   // 2000 HU
    // raw 3900 is -50 HU (-51 had the intercept been rounded, 1900 with slope 1):
    // w = 974/4119 = 0.23647, blue (0.25 - w) / 0.05 = 0.2707 -> alpha trunc(55.2 + 0.5)
    EXPECT_EQ(table[32768 + 3900].second, 0x0000fa37u);
}

TEST_F(VxrpHost, AverageWeighsEachCountedVoxelByItsOpacity) {
    // One voxel at -1000 HU (blue) and two at 2000 HU (red), both opacity 204:
    // red 200 * 2/3 = 133.3, blue 250 * 1/3 = 83.3, truncated.
    const std::string histogram = m_Dir.Write("h.txt", "# raw count\n24 1\n3024 2\n");
    const RunResult result = Run({"average", Protocol(), "--histogram", histogram});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "average colour 133 0 83 (#850053)\n");
}

TEST_F(VxrpHost, WindowMovesEveryClassAndSavesAProtocolFile) {
    const RunResult result =
        Run({"window", Protocol(), "--center", "0.1", "--width", "0", "-o", "moved.xml"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "");
    const auto table = Table({(m_Dir.Path() / "moved.xml").string()});
    ASSERT_EQ(table.size(), 4096u);
    // 1228 HU: w = 2252/4095 = 0.54994 shows what 0.44994 showed before the
    // move: red 0.7998 -> alpha trunc(163.2 + 0.5) = 163.
    EXPECT_EQ(table[1228 + 1024].second, 0xc80000a3u);
    // -1000 HU now lies before the blue class's first point (moved to 0.1),
    // whose opacity 1 holds there.
    EXPECT_EQ(table[-1000 + 1024].second & 0xffu, 204u);
}

TEST_F(VxrpHost, DragTimesEveryStepOnAsManyThreadsAsAskedAndRefusesNoSteps) {
    const RunResult result =
        Run({"drag", Protocol(), "--steps", "4", "--step", "-0.01", "--center", "--threads", "1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.substr(0, result.out.find('\n')),
              "4 steps of AddCenter(-0.01) on \"Two test classes\", 12-bit data (4096 entries), 2 "
              "classes, 1 table thread");
    EXPECT_NE(result.out.find("\nper step (window, copy, new table): median "), std::string::npos);
    const RunResult shared = Run({"drag", "--bits", "14", "--steps", "3", "--threads", "2"});
    ASSERT_EQ(shared.exitCode, 0) << shared.err;
    EXPECT_NE(shared.out.find("14-bit data (16384 entries)"), std::string::npos) << shared.out;
    EXPECT_NE(Run({"drag", Protocol(), "--steps", "0"}).exitCode, 0);
}

TEST_F(VxrpHost, PresetsAreListedAndEveryCtPresetLeavesAirTransparent) {
    const RunResult list = Run({"presets"});
    ASSERT_EQ(list.exitCode, 0);
    std::istringstream lines(list.out);
    std::string line;
    int ct = 0;
    while (std::getline(lines, line)) {
        const std::string name = line.substr(0, line.find(' '));
        if (name.rfind("ct_", 0) != 0) {
            continue;
        }
        ++ct;
        const auto table = Table({name});
        ASSERT_EQ(table.size(), 4096u) << name;
        EXPECT_EQ(table[24].second & 0xffu, 0u) << name << " at -1000 HU";
    }
    EXPECT_GE(ct, 5);
}

TEST_F(VxrpHost, ConvertRoundTripsAPresetByteForByte) {
    const std::string preset = "ct_bone";
    ASSERT_EQ(Run({"convert", preset, "a.xml"}).exitCode, 0);
    ASSERT_EQ(Run({"convert", "a.xml", "b.xml"}).exitCode, 0);
    const std::string a = ReadText(m_Dir.Path() / "a.xml");
    EXPECT_FALSE(a.empty());
    EXPECT_EQ(ReadText(m_Dir.Path() / "b.xml"), a);
    EXPECT_EQ(Table({"a.xml"}), Table({preset}));
}

// The picture, read back with cairo: the plot area is x 70..769 with opacity
// 1 at y 60 and 0 at y 360; column x shows raw floor((x - 70 + 0.5) * 4096 / 700).
class Picture {
  public:
    explicit Picture(const std::string& path)
        : m_pSurface(cairo_image_surface_create_from_png(path.c_str()), cairo_surface_destroy) {}
    bool Ok() const { return cairo_surface_status(m_pSurface.get()) == CAIRO_STATUS_SUCCESS; }
    int Width() const { return cairo_image_surface_get_width(m_pSurface.get()); }
    int Height() const { return cairo_image_surface_get_height(m_pSurface.get()); }
    // Red, green and blue of a pixel.
    std::array<int, 3> At(int x, int y) const {
        const unsigned char* data = cairo_image_surface_get_data(m_pSurface.get());
        const int stride = cairo_image_surface_get_stride(m_pSurface.get());
        std::uint32_t pixel = 0;
        std::memcpy(&pixel, data + static_cast<std::ptrdiff_t>(y) * stride + 4 * x, 4);
        return {static_cast<int>((pixel >> 16) & 0xff), static_cast<int>((pixel >> 8) & 0xff),
                static_cast<int>(pixel & 0xff)};
    }
    // The row of the whitest pixel of column x within the plot area.
    int WhitestRow(int x) const {
        int best = -1;
        int bestValue = -1;
        for (int y = 58; y <= 362; ++y) {
            const auto [r, g, b] = At(x, y);
            const int value = std::min({r, g, b});
            if (value > bestValue) {
                bestValue = value;
                best = y;
            }
        }
        return bestValue >= 150 ? best : -1;
    }

  private:
    std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> m_pSurface;
};

TEST_F(VxrpHost, PlotShowsTheTableColourAndTheCompositeOpacityWhereTheyAreKnown) {
    const RunResult result = Run({"plot", Protocol(), "-o", "plot.png"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Picture picture((m_Dir.Path() / "plot.png").string());
    ASSERT_TRUE(picture.Ok());
    ASSERT_EQ(picture.Width(), 800);
    ASSERT_EQ(picture.Height(), 500);
    using Rgb = std::array<int, 3>;
    // Column 517 shows raw 3028 (2004 HU): red, opacity 204/255 at y 360 - 240.
    EXPECT_EQ(picture.At(70 + 517, 380), (Rgb{200, 0, 0}));
    EXPECT_EQ(picture.At(70 + 517, 400), (Rgb{160, 0, 0}));  // times 0.8 on black
    EXPECT_NEAR(picture.WhitestRow(70 + 517), 120, 2);
    // Column 4 shows raw 26 (-998 HU): blue, the same opacity.
    EXPECT_EQ(picture.At(70 + 4, 380), (Rgb{0, 0, 250}));
    EXPECT_NEAR(picture.WhitestRow(70 + 4), 120, 2);
    // Column 300 shows raw 1758 (w 0.42930): red 0.71722 -> alpha 146, y 360 - 300 * 146/255.
    EXPECT_EQ(picture.At(70 + 300, 380), (Rgb{200, 0, 0}));
    EXPECT_NEAR(picture.WhitestRow(70 + 300), 188, 2);
}

TEST_F(VxrpHost, WithoutACommandItSummarisesTheDefaultPresetAndDrawsIt) {
    const RunResult result = Run({});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("classes"), std::string::npos);
    EXPECT_NE(result.out.find("values -1024..3071"), std::string::npos);
    EXPECT_NE(result.out.find("4096 entries"), std::string::npos);
    EXPECT_NE(result.out.find("vxrp-plot.png"), std::string::npos);
    const Picture picture((m_Dir.Path() / "vxrp-plot.png").string());
    ASSERT_TRUE(picture.Ok());
    EXPECT_EQ(picture.Width(), 800);
}

TEST_F(VxrpHost, BadInputGetsOneLineOnStandardErrorAndItsExitCode) {
    const std::string protocol = Protocol();
    const std::string broken = m_Dir.Write("broken.xml", std::string(kTwoClasses).substr(0, 300));
    const std::string notHistogram = m_Dir.Write("h.txt", "24 many\n");
    const std::string notDicom = m_Dir.Write("text.dcm", std::string(300, 'x'));
    const std::filesystem::path dicom = m_Dir.Path() / "whole.dcm";
    ASSERT_TRUE(vxrp_test::write_dicom_file(dicom, vxrp_test::ct_like_content("-1024", "1")));
    const std::string truncated = m_Dir.Write("cut.dcm", ReadText(dicom).substr(0, 200));
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* says;
    };
    const Case cases[] = {
        {{"table", "--bits", "-3"}, 2, "--bits"},
        {{"table", "--bits", "25"}, 2, "--bits"},
        {{"table", "--slope", "0"}, 2, "--slope"},
        {{"table", "--slope", "nan"}, 2, "--slope"},
        {{"table", "--format", "csv"}, 2, "--format"},
        {{"table", "--frobnicate"}, 2, "--frobnicate"},
        {{"frobnicate"}, 2, "frobnicate"},
        {{"window", protocol, "--width", "0.1"}, 2, "--center"},
        {{"plot", protocol}, 2, "--output"},
        {{"table", "missing.xml"}, 3, "missing.xml"},
        {{"table", broken}, 3, "broken.xml"},
        {{"table", m_Dir.Path().string()}, 3, m_Dir.Path().c_str()},
        {{"average", protocol, "--histogram", "none.txt"}, 3, "none.txt"},
        {{"table", "--dicom", "none.dcm"}, 3, "none.dcm"},
        {{"table", "--dicom", notDicom}, 3, "text.dcm"},
        {{"table", "--dicom", truncated}, 3, "cut.dcm"},
        {{"average", protocol, "--histogram", notHistogram}, 3, "h.txt:1:"},
        {{"table", protocol, "-o", "no/such/dir/t.txt"}, 4, "no/such/dir/t.txt"},
        {{"plot", protocol, "-o", "no/such/dir/p.png"}, 4, "no/such/dir/p.png"},
        {{"convert", protocol, m_Dir.Path().string()}, 4, m_Dir.Path().c_str()},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& arg : c.args) {
            shown += " " + arg;
        }
        const RunResult result = Run(c.args);
        EXPECT_EQ(result.exitCode, c.exitCode) << shown << "\n" << result.err;
        EXPECT_EQ(result.out, "") << shown;
        ASSERT_FALSE(result.err.empty()) << shown;
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << shown << "\n" << result.err;
        EXPECT_NE(result.err.find(c.says), std::string::npos) << shown << "\n" << result.err;
    }
    // Nothing half-written was left behind.
    for (const auto& entry : std::filesystem::directory_iterator(m_Dir.Path())) {
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos);
    }
}

}  // namespace
