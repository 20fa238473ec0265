#include "params/KEnumParam.h"
#include "params/KLogRangeParam.h"
#include "params/KRangeParam.h"
#include "params/KdBParam.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace Korvel;

namespace {
struct Cell {
    unsigned char bytes[8] = {};
    KCell get() { return bytes; }
};
std::string text(const KEffectParameter& p, Cell& c, bool unit = false) {
    char buffer[64];
    if (unit)
        p.formatValueWithUnit(buffer, sizeof buffer, c.get());
    else
        p.formatValue(buffer, sizeof buffer, c.get());
    return buffer;
}
} // namespace

TEST(KRangeParam, StepsSnapAndLinearMapping) {
    KRangeParam p;
    p.setRange(-99, 99, 198);
    EXPECT_DOUBLE_EQ(p.toReal(0.5), 0);
    EXPECT_DOUBLE_EQ(p.toReal(0.2525), -49);
    EXPECT_DOUBLE_EQ(p.fromReal(200), 1);
    EXPECT_DOUBLE_EQ(p.fromReal(-200), 0);
    KRangeParam continuous;
    continuous.setRange(0, 1, 0);
    continuous.setDecimals(2);
    Cell c;
    continuous.storeValue(c.get(), 0.12345);
    EXPECT_DOUBLE_EQ(continuous.cellReal(c.get()), 0.12345);
    EXPECT_EQ(text(continuous, c), "0.12");
    EXPECT_EQ(text(continuous, c, true), "0.12");
}

TEST(KLogRangeParam, MappingAndNonPositiveTypedValues) {
    KLogRangeParam p;
    p.setRange(20, 2000);
    EXPECT_DOUBLE_EQ(p.toReal(0.5), 200);
    EXPECT_EQ(p.fromReal(10), 0);
    EXPECT_EQ(p.fromReal(4000), 1);
    Cell c;
    for (const char* typed : {"-Inf", "0", "-5", "abc"}) {
        p.parseInto(c.get(), typed);
        EXPECT_EQ(p.cellValue(c.get()), 0) << typed;
    }
}

TEST(KdBParam, MinusInfinityAndTypedText) {
    KdBParam p;
    p.setUnit("dB");
    p.setDecimals(1);
    Cell c;
    p.storeValue(c.get(), 0);
    EXPECT_EQ(text(p, c, true), "-Inf dB");
    p.parseInto(c.get(), "-inf");
    EXPECT_EQ(p.cellValue(c.get()), 0);
    p.parseInto(c.get(), "0");
    EXPECT_EQ(p.cellValue(c.get()), 1);
    p.storeValue(c.get(), std::pow(10.0, -0.625));
    EXPECT_EQ(text(p, c), "-12.5");
    p.storeValue(c.get(), -0.5);
    EXPECT_EQ(text(p, c), "-Inf");
}

TEST(KEnumParam, ItemsRoundingAndOutOfRangeCells) {
    KEnumParam p;
    p.setItemCount(4);
    const char* items[] = {"Sine", "Triangle", "Square", "Sawtooth"};
    for (int i = 0; i < 4; ++i)
        p.setItem(i, items[i]);
    EXPECT_EQ(p.toReal(0.16), 0);
    EXPECT_EQ(p.toReal(0.17), 1);
    Cell c;
    p.parseInto(c.get(), "square");
    EXPECT_EQ(text(p, c), "Square");
    p.parseInto(c.get(), "nothing");
    EXPECT_EQ(text(p, c), "Square");
    p.storeValue(c.get(), 7.0);
    EXPECT_EQ(text(p, c), "Sawtooth");
    p.storeValue(c.get(), -3.0);
    EXPECT_EQ(text(p, c), "Sine");
}

TEST(KEffectParameter, DecimalsAreClampedForDisplay) {
    KRangeParam p;
    p.setRange(0, 1, 0);
    Cell c;
    p.storeValue(c.get(), 0.5);
    p.setDecimals(25);
    EXPECT_EQ(text(p, c).size(), std::string("0.").size() + 20);
    p.setDecimals(-3);
    EXPECT_EQ(text(p, c), "0");
}
