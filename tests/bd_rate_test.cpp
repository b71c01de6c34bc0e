// The BD-rate: its interpolation and fit against SciPy's figures for the
// same points (PchipInterpolator and numpy.polyfit, worked out once and kept
// here as numbers), the case that can be stated by hand, the curves it
// refuses, the rate tables it reads and the mode's lines and JSON.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "snap/io/csv_read.h"
#include "snap/io/shown_name.h"
#include "snap/report/bd_rate.h"
#include "snap/snap.h"
#include "tests/test_files.h"

namespace {

std::vector<RdPoint> curve(const std::vector<double>& rates, const std::vector<double>& qualities) {
    std::vector<RdPoint> points;
    for (size_t i = 0; i < rates.size(); ++i) points.push_back({rates[i], qualities[i], int64_t(i) + 2});
    return points;
}

// A realistic pair: TEST spends about 12 % less rate at each point.
const std::vector<double> anchorRates = {1000, 1800, 3200, 5800}, testRates = {880, 1560, 2790, 5100};

TEST(BdRate, MatchesScipyOnRealisticCurves) {
    struct Case {
        std::vector<double> anchorRates, anchorQuality, testRates, testQuality;
        double pchip, poly, low, high; // SciPy's
    } cases[] = {
        {anchorRates, {33.21, 35.48, 37.52, 39.31}, testRates, {33.35, 35.62, 37.66, 39.40}, -16.152979246765465,
         -16.14262446192368, 33.35, 39.31},
        {anchorRates, {38.90, 40.12, 41.37, 42.55}, testRates, {38.71, 39.98, 41.20, 42.41}, -6.062052595369172,
         -6.077174619978587, 38.9, 42.41},
        {anchorRates, {0.9012, 0.9287, 0.9498, 0.9641}, testRates, {0.9031, 0.9301, 0.9512, 0.9650},
         -16.219865490957275, -16.155226176838468, 0.9031, 0.9641},
        // Six points: the cubic is a least-squares fit, no longer through every point.
        {{500, 900, 1600, 2900, 5200, 9400}, {31.02, 33.40, 35.61, 37.70, 39.52, 41.10},
         {430, 800, 1420, 2600, 4650, 8500}, {30.95, 33.51, 35.70, 37.74, 39.60, 41.02}, -12.584314105546856,
         -12.382023285655174, 31.02, 41.02},
    };
    for (const Case& c : cases) {
        std::vector<RdPoint> anchor = curve(c.anchorRates, c.anchorQuality), test = curve(c.testRates, c.testQuality);
        RdFault fault;
        ASSERT_TRUE(prepareRdCurve(&anchor, &fault) && prepareRdCurve(&test, &fault));
        for (int method : {BD_PCHIP, BD_POLY}) {
            BdResult result;
            ASSERT_TRUE(bdRate(anchor, test, method, &result, &fault)) << c.pchip;
            // numpy.polyfit solves the raw powers, good to about 1e-11 here.
            EXPECT_NEAR(result.percent, method == BD_POLY ? c.poly : c.pchip, 1e-9) << c.pchip << " " << method;
            EXPECT_EQ(result.low, c.low);
            EXPECT_EQ(result.high, c.high);
        }
    }
}

// TEST's rates are ANCHOR's times a constant: at every quality it needs that
// factor, so the BD-rate is the factor, whatever the method and the points.
TEST(BdRate, ConstantRateFactorIsThatFactor) {
    const std::vector<double> quality = {33.21, 35.48, 37.52, 39.31}, six = {30, 31, 33.5, 36, 36.2, 41};
    for (const std::vector<double>* q : {&quality, &six})
        for (double factor : {0.8, 1.25, 0.5, 1.0})
            for (int method : {BD_PCHIP, BD_POLY}) {
                std::vector<double> rates = {600, 1000, 1800, 3200, 5800, 9000};
                rates.resize(q->size());
                std::vector<double> scaled = rates;
                for (double& r : scaled) r *= factor;
                std::vector<RdPoint> anchor = curve(rates, *q), test = curve(scaled, *q);
                RdFault fault;
                BdResult result;
                ASSERT_TRUE(prepareRdCurve(&anchor, &fault) && prepareRdCurve(&test, &fault));
                ASSERT_TRUE(bdRate(anchor, test, method, &result, &fault));
                EXPECT_NEAR(result.percent, (factor - 1) * 100, 1e-10) << factor << " " << method;
            }
}

// The slopes and the exact integral, on curves that fall and turn too, so
// that every rule of the slopes is met: a zero at a turn or a flat, the
// weighted harmonic mean, an end slope pointing against its secant made 0,
// and one held to three times its secant.
TEST(BdRate, PchipSlopesAndIntegralMatchScipy) {
    struct Case {
        std::vector<double> x, y, slopes;
        double low, high, integral;
    } cases[] = {
        {{0, 1, 1.5, 4, 4.2, 7}, {1, 3, 2.9, 2.9, 5, 9}, {3.466666666666667, 0, 0, 0, 3.223055934515688, 0}, 0.3,
         6.1, 25.05223428135873},
        {{1, 2, 3, 10}, {0, 1, 10, 11}, {0, 1.7999999999999998, 0.37113402061855666, 0}, 1, 10, 80.98453608247424},
        {{0, 1, 2}, {0, 1, -5}, {3, 0, -9.5}, 0, 0, 0},
        {{0, 2}, {1, 5}, {2, 2}, 0.5, 1.5, 3}, // two points: the straight line
    };
    for (const Case& c : cases) {
        std::vector<double> slopes(c.x.size());
        pchipSlopes(c.x.data(), c.y.data(), int(c.x.size()), slopes.data());
        for (size_t i = 0; i < slopes.size(); ++i) EXPECT_NEAR(slopes[i], c.slopes[i], 1e-12) << c.x[0] << " " << i;
        EXPECT_NEAR(pchipIntegral(c.x.data(), c.y.data(), int(c.x.size()), c.low, c.high), c.integral, 1e-12);
    }
    // The cubic through four points is that cubic: y = x^3 - 2x from -1 to 2 has area 0.75.
    const double x[] = {-3, -1, 0.5, 4}, y[] = {-21, 1, -0.875, 56};
    EXPECT_NEAR(cubicFitIntegral(x, y, 4, -1, 2), 0.75, 1e-12);
}

TEST(BdRate, CurvesItRefuse) {
    const std::vector<double> q = {33, 35, 37, 39};
    struct Case {
        std::vector<double> rates, quality;
        int kind;
        int64_t row, previousRow; // of the point named, and the one it conflicts with (rows from 2)
        int points;
    } cases[] = {
        {{1000, 1800, 3200}, {33, 35, 37}, RD_TOO_FEW, 0, 0, 3},
        {{1000, 1800, 0, 5800}, q, RD_RATE_NOT_ABOVE_0, 4, 0, 0},
        {{1000, -1, 3200, 5800}, q, RD_RATE_NOT_ABOVE_0, 3, 0, 0},
        {{1000, 1800, 3200, 5800}, {33, 35, NAN, 39}, RD_NOT_A_NUMBER, 4, 0, 0},
        {{1000, INFINITY, 3200, 5800}, q, RD_NOT_A_NUMBER, 3, 0, 0},
        // Quality that falls, or stays, as the rate rises; the point at the higher rate is named.
        {{1000, 1800, 3200, 5800}, {33, 35, 34.9, 39}, RD_NOT_RISING, 4, 3, 0},
        {{1000, 1800, 3200, 5800}, {33, 35, 35, 39}, RD_NOT_RISING, 4, 3, 0},
        // Unsorted rows are sorted first: the fault is found between rows 2 and 5.
        {{5800, 1000, 3200, 800}, {39, 33, 37, 34}, RD_NOT_RISING, 3, 5, 0},
        {{1000, 1800, 1800, 5800}, {33, 35, 36, 39}, RD_NOT_RISING, 4, 3, 0},
        // A row given twice is one point: three are left.
        {{1000, 1800, 1800, 5800}, {33, 35, 35, 39}, RD_TOO_FEW, 0, 0, 3},
        {{5800, 1000, 3200, 1800, 1000}, {39, 33, 37, 35, 33}, RD_USABLE, 0, 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<RdPoint> points = curve(c.rates, c.quality);
        RdFault fault = {};
        const int usable = prepareRdCurve(&points, &fault);
        EXPECT_EQ(usable ? RD_USABLE : fault.kind, c.kind) << c.rates[0] << " " << c.quality[2];
        if (usable) {
            ASSERT_EQ(points.size(), 4u);
            for (size_t i = 1; i < points.size(); ++i) EXPECT_GT(points[i].rate, points[i - 1].rate);
            continue;
        }
        if (c.row) {
            EXPECT_EQ(fault.point.row, c.row) << c.rates[0];
        }
        if (c.previousRow) {
            EXPECT_EQ(fault.previous.row, c.previousRow) << c.rates[0];
        }
        if (c.kind == RD_TOO_FEW) {
            EXPECT_EQ(fault.points, c.points);
        }
    }
    // Curves whose qualities do not overlap, or touch at one value only.
    for (double shift : {10.0, 6.0}) {
        std::vector<RdPoint> anchor = curve(anchorRates, q);
        std::vector<RdPoint> test = curve(anchorRates, {33 + shift, 35 + shift, 37 + shift, 39 + shift});
        RdFault fault;
        BdResult result;
        ASSERT_TRUE(prepareRdCurve(&anchor, &fault) && prepareRdCurve(&test, &fault));
        EXPECT_FALSE(bdRate(anchor, test, BD_PCHIP, &result, &fault));
        EXPECT_EQ(fault.kind, RD_NO_OVERLAP);
    }
    // A ratio past what a double holds is refused rather than printed as inf.
    std::vector<RdPoint> low = curve({1e-300, 2e-300, 3e-300, 4e-300}, q);
    std::vector<RdPoint> high = curve({1e300, 2e300, 3e300, 4e300}, q);
    RdFault fault;
    BdResult result;
    ASSERT_TRUE(prepareRdCurve(&low, &fault) && prepareRdCurve(&high, &fault));
    EXPECT_FALSE(bdRate(low, high, BD_POLY, &result, &fault));
    EXPECT_EQ(fault.kind, RD_NOT_FINITE);
}

// Rate tables as spreadsheets and scripts write them, and the tables refused
// with the row or the column named.
TEST(BdRate, RateTablesReadOrRefusedByRow) {
    struct Case {
        const char* text;
        const char* error;  // part of it; nullptr when read
        const char* column; // read: the first quality column, its point count and first row's number
        size_t points;
        int64_t firstRow;
    } cases[] = {
        {"bitrate,psnr_y\n1,30\n2,31\n", nullptr, "psnr_y", 2, 2},
        {"\xef\xbb\xbf\"bitrate\",\"psnr_y\"\r\n1,30\r\n\r\n2,31\r\n", nullptr, "psnr_y", 2, 2},
        // A quoted line break keeps the row; a blank line is a row of its own.
        {"frame,\"psnr\ny\",bitrate\n\n1,30,1\n2,31,2", nullptr, "psnr\ny", 2, 3},
        {"bitrate , psnr_y ,\n 1 , \" 30\t\" ,\n", nullptr, "psnr_y", 1, 2},
        {"bitrate,\"a \"\"q\"\",b\"\n1,2\n", nullptr, "a \"q\",b", 1, 2},
        {"", "'t.csv' row 1: no header row", nullptr, 0, 0},
        {"\n\n", "'t.csv' row 3: no header row", nullptr, 0, 0},
        {"rate,psnr_y\n1,2\n", "'t.csv' has no bitrate column", nullptr, 0, 0},
        {"bitrate;psnr_y\n1;2\n", "no bitrate column: its header is one field (the fields are separated by commas)",
         nullptr, 0, 0},
        {"bitrate,frame\n1,2\n", "'t.csv' has no quality column beside bitrate", nullptr, 0, 0},
        {"bitrate,psnr_y,psnr_y\n1,2,3\n", "the column 'psnr_y' appears twice", nullptr, 0, 0},
        {"bitrate,psnr_y\n1,2\n3\n", "'t.csv' row 3: holds 1 field where the header has 2", nullptr, 0, 0},
        {"bitrate,psnr_y\n1,\"2\n", "'t.csv' row 2: a quoted field is not closed", nullptr, 0, 0},
        {"bitrate,psnr_y\n1,\"2\"x\n", "row 2: a closing quote is followed", nullptr, 0, 0},
        {"bitrate,psnr_y\n1,2\"\n", "row 2: a quote inside a field", nullptr, 0, 0},
        {"bitrate,psnr_y\n1,2\nfast,3\n", "'t.csv' row 3: bitrate 'fast' is not a number", nullptr, 0, 0},
        {"bitrate,psnr_y\n0x10,3\n", "bitrate '0x10' is not a number", nullptr, 0, 0},
        {"bitrate,psnr_y\n1234567890123456789012345678901234567890X,3\n",
         "bitrate '1234567890123456789012345678901234567890...' is not", nullptr, 0, 0},
        {"bitrate,psnr_y\n1,2\n-5,3\n", "'t.csv' row 3: bitrate -5 is not above 0", nullptr, 0, 0},
        {"bitrate,psnr_y\n1,2\n\n0,3\n", "'t.csv' row 4: bitrate 0 is not above 0", nullptr, 0, 0},
    };
    for (const Case& c : cases) {
        RateTable table;
        std::string error;
        const int read = parseRateTable(&table, "t.csv", c.text, strlen(c.text), &error);
        if (!c.error) {
            ASSERT_TRUE(read) << c.text << ": " << error;
            ASSERT_FALSE(table.columns.empty());
            EXPECT_EQ(table.columns[0].name, c.column);
            EXPECT_EQ(table.columns[0].points.size(), c.points) << c.text;
            EXPECT_EQ(table.columns[0].points[0].row, c.firstRow) << c.text;
            EXPECT_EQ(table.columns[0].fault, "");
            continue;
        }
        EXPECT_FALSE(read) << c.text;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
    // A bad cell belongs to its column: the table reads, the column says why.
    RateTable table;
    std::string error;
    const char text[] = "bitrate,psnr_y,ssim_y\n1,30,0.9\n2,inf,0.91\n3,,0.92\n";
    ASSERT_TRUE(parseRateTable(&table, "t.csv", text, sizeof text - 1, &error)) << error;
    EXPECT_EQ(table.columns[0].fault, "'t.csv' row 3: psnr_y 'inf' is not a number");
    EXPECT_EQ(table.columns[1].fault, "");
    EXPECT_EQ(table.columns[1].points.size(), 3u);
}

struct BdRun {
    int status;
    std::string out, err;
};

BdRun runBdRate(std::vector<std::string> args) {
    args.insert(args.begin(), {"corvane-snap", "--bd-rate"});
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    BdRun run;
    run.status = snapMain(int(args.size()), argv.data());
    run.out = testing::internal::GetCapturedStdout();
    run.err = testing::internal::GetCapturedStderr();
    return run;
}

std::string writeText(const std::string& name, const std::string& text) {
    return writeBytes(name, std::vector<uint8_t>(text.begin(), text.end()));
}

const char anchorTable[] = "bitrate,psnr_y,psnr_u,ssim_y\n"
                           "1000,33.21,38.90,0.9012\n1800,35.48,40.12,0.9287\n"
                           "3200,37.52,41.37,0.9498\n5800,39.31,42.55,0.9641\n";

TEST(BdRate, ModePrintsOneLinePerSharedColumn) {
    const std::string anchor = writeText("anchor.csv", anchorTable);
    // TEST in another column order, with a frame column and a column ANCHOR lacks.
    const std::string test = writeText("test.csv", "\"psnr_y\",bitrate,frame,psnr_v,ssim_y\r\n"
                                                   "33.35,880,0,44,0.9031\r\n35.62,1560,1,45,0.9301\r\n"
                                                   "37.66,2790,2,46,0.9512\r\n39.40,5100,3,47,0.9650\r\n");
    BdRun run = runBdRate({anchor, test});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "BD-rate psnr_y: -16.152979 %\nBD-rate ssim_y: -16.219865 %\n");
    EXPECT_NE(run.err.find("psnr_u is in " + quotedName(anchor.c_str()) + " only: left out"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("psnr_v is in " + quotedName(test.c_str()) + " only: left out"), std::string::npos)
        << run.err;

    run = runBdRate({anchor, test, "--bd-method", "poly", "--json", "-"});
    EXPECT_EQ(run.status, 0) << run.err;
    const nlohmann::json j = nlohmann::json::parse(run.out);
    EXPECT_EQ(j["method"], "poly");
    EXPECT_NEAR(j["bd_rate"]["psnr_y"].get<double>(), -16.14262446192368, 1e-9);
    EXPECT_NEAR(j["bd_rate"]["ssim_y"].get<double>(), -16.155226176838468, 1e-9);
    EXPECT_EQ(j["quality_range"]["psnr_y"]["low"].get<double>(), 33.35);
    EXPECT_EQ(j["bd_rate"].size(), 2u);

    // JSON to a file, the lines on standard output; never over a table.
    const std::string json = scratchPath("bd.json");
    run = runBdRate({anchor, test, "--json", json});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "BD-rate psnr_y: -16.152979 %\nBD-rate ssim_y: -16.219865 %\n");
    std::ifstream in(json);
    std::stringstream saved;
    saved << in.rdbuf();
    EXPECT_EQ(nlohmann::json::parse(saved.str())["method"], "pchip");
    run = runBdRate({anchor, test, "--json", test});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("is TEST"), std::string::npos) << run.err;
    // A figure of 300 digits is printed whole.
    const std::string costly = writeText("costly.csv", "bitrate,psnr_y\n1e300,33.21\n1.8e300,35.48\n"
                                                       "3.2e300,37.52\n5.8e300,39.31\n");
    run = runBdRate({anchor, costly});
    EXPECT_EQ(run.status, 0);
    ASSERT_GT(run.out.size(), 300u) << run.out;
    EXPECT_EQ(run.out.substr(run.out.size() - 10), ".000000 %\n");
}

TEST(BdRate, ModeRefusesWithOneLineNamingThePoint) {
    const std::string anchor = writeText("refuse_anchor.csv", anchorTable);
    struct Case {
        const char* table;
        const char* says;
    } cases[] = {
        {"bitrate,psnr_y\n880,33.35\n1560,35.62\n2790,37.66\n",
         "holds 3 distinct points of psnr_y: a BD-rate needs at least 4"},
        {"bitrate,psnr_y\n880,33.35\n1560,35.62\n2790,35.1\n5100,39.40\n",
         "row 4 (bitrate 2790, psnr_y 35.1): psnr_y does not rise with the rate: row 3 (bitrate 1560, psnr_y 35.62)"},
        {"bitrate,psnr_y\n880,33.35\n1560,35.62\n1560,37.66\n5100,39.40\n",
         "row 3 (bitrate 1560, psnr_y 35.62) and row 4 (bitrate 1560, psnr_y 37.66): two qualities at one rate"},
        {"bitrate,psnr_y\n880,43.35\n1560,45.62\n2790,47.66\n5100,49.40\n",
         "psnr_y: the curves do not overlap: '", },
        {"bitrate,psnr_y\n880,33.35\n1560,n/a\n2790,37.66\n5100,39.40\n", "row 3: psnr_y 'n/a' is not a number"},
        {"bitrate,psnr_y\n880,33.35\n0,35.62\n2790,37.66\n5100,39.40\n", "row 3: bitrate 0 is not above 0"},
        {"bitrate,vmaf\n880,80\n1560,85\n2790,90\n5100,95\n", "share no quality column"},
    };
    for (const Case& c : cases) {
        const std::string test = writeText("refuse_test.csv", c.table);
        const BdRun run = runBdRate({anchor, test});
        EXPECT_EQ(run.status, 2) << c.says;
        EXPECT_EQ(run.out, "") << c.says;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        // One line (a note on the columns left out may come before it).
        EXPECT_EQ(run.err.back(), '\n');
        EXPECT_EQ(run.err.find('\n', run.err.rfind("corvane-snap:")), run.err.size() - 1) << run.err;
        std::remove(test.c_str());
    }
    EXPECT_EQ(runBdRate({anchor, scratchPath("absent.csv")}).status, 2);
    const std::string large = writeText("large.csv", std::string(anchorTable) + std::string(1 << 20, '\n'));
    const BdRun run = runBdRate({anchor, large});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("is over 1 MiB"), std::string::npos) << run.err;
}

} // namespace
