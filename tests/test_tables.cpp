#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "support/support.hh"
#include "util/plyxUtil.h"

using glyva_test::captureStdout;

namespace
{

using NotEqual = int (*)(const float *, const float *);

struct SingleValueType {
    const char *name;
    NotEqual notEqual;
    int components;
};

const SingleValueType kSingleValueTypes[] = {
    {"SFVec2f", notEqualSFVec2f, 2},         {"SFVec3f", notEqualSFVec3f, 3},
    {"SFVec4f", notEqualSFVec4f, 4},         {"SFColor", notEqualSFColor, 3},
    {"SFColorRGBA", notEqualSFColorRGBA, 4}, {"SFRotation", notEqualSFRotation, 4},
};

struct NodeType {
    int32_t code;
    const char *name;
};

/* Typed out from the node type list, in its order. */
const NodeType kNodeTypes[] = {
    {0x0000, "ANY"},
    {0x0001, "Reference"},
    {0x0002, "ROUTE"},
    {0x0004, "field"},
    {0x0008, "Scene"},
    {0x0080, "LayerSet"},
    {0x0081, "Layer"},
    {0x0082, "AnnotationLayer"},
    {0x0090, "Viewport"},
    {0x0100, "Group"},
    {0x0101, "Transform"},
    {0x0102, "Switch"},
    {0x0103, "LOD"},
    {0x0124, "StencilGroup"},
    {0x0125, "OrderedGroup"},
    {0x0200, "Shape"},
    {0x0300, "Geometry"},
    {0x0301, "Text"},
    {0x0302, "NinePatch"},
    {0x0381, "FontStyle"},
    {0x0400, "Appearance"},
    {0x0401, "LineProperties"},
    {0x0402, "FillProperties"},
    {0x0500, "Viewpoint"},
    {0x0501, "NavigationInfo"},
    {0x0502, "Background"},
    {0x0503, "Fog"},
    {0x0504, "OrthoViewpoint"},
    {0x0600, "DirectionalLight"},
    {0x0601, "PointLight"},
    {0x0602, "SpotLight"},
    {0x0700, "Material"},
    {0x0701, "Texture"},
    {0x0702, "MultiTexture"},
    {0x0703, "D3DSurface"},
    {0x0720, "ShaderProgram"},
    {0x0721, "ProgramShader"},
    {0x0800, "ScalarInterpolator"},
    {0x0801, "PositionInterpolator2D"},
    {0x0802, "PositionInterpolator"},
    {0x0803, "ColorInterpolator"},
    {0x0804, "OrientationInterpolator"},
    {0x0900, "AnnotationTarget"},
    {0x0901, "TextAnnotation"},
    {0x0902, "IconAnnotation"},
    {0x0903, "GroupAnnotation"},
    {0x1000, "TimeSensor"},
    {0x1001, "TouchSensor"},
    {0x1002, "PlaneSensor"},
    {0x100A, "MobileSensor"},
    {0x100B, "TavixEventSensor"},
    {0x100C, "ExternalTouchSensor"},
    {0x1100, "MultiTextureTransform"},
    {0x1101, "TextureTransform"},
    {0x1102, "TextureTransform3D"},
    {0x1300, "Sound"},
    {0x1301, "AudioClip"},
    {0x1400, "BooleanFilter"},
    {0x1401, "BooleanSequencer"},
    {0x1402, "BooleanToggle"},
    {0x1403, "BooleanTrigger"},
    {0x1404, "IntegerSequencer"},
    {0x1405, "IntegerTrigger"},
    {0x1406, "TimeTrigger"},
    {0x1500, "PositionChaser"},
    {0x1501, "PositionChaser2D"},
    {0x1502, "OrientationChaser"},
    {0x1503, "ScalarChaser"},
    {0x2000, "Inline"},
    {0x2001, "IMPORT"},
    {0x2002, "EXPORT"},
    {0x3000, "Script"},
};

std::string unknownMessage(const char *hex)
{
    return std::string("plyxUtil(346): type ") + hex + " not yet supported\n";
}

} // namespace

TEST(SingleValueNotEqual, EqualValuesAreNotDifferent)
{
    const float a[4] = {1, 2, 3, 4};
    const float b[4] = {1, 2, 3, 4};
    for (const auto &type : kSingleValueTypes)
        EXPECT_EQ(type.notEqual(a, b), 0) << type.name;
}

TEST(SingleValueNotEqual, EachComponentCountsAndNoneBeyond)
{
    for (const auto &type : kSingleValueTypes) {
        for (int c = 0; c < 5; ++c) {
            const float a[5] = {1, 2, 3, 4, 5};
            float b[5] = {1, 2, 3, 4, 5};
            b[c] = std::nextafter(b[c], 100.0f);
            EXPECT_EQ(type.notEqual(a, b), c < type.components ? 1 : 0)
                << type.name << " component " << c;
        }
    }
}

TEST(SingleValueNotEqual, NoTolerance)
{
    const float a[3] = {1, 2, 3};
    const float b[3] = {1, 2, 3.0000002f};
    EXPECT_NE(b[2], 3.0f);
    EXPECT_EQ(notEqualSFVec3f(a, a), 0);
    EXPECT_EQ(notEqualSFVec3f(a, b), 1);
}

TEST(SingleValueNotEqual, NaNDiffersEvenFromItself)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const auto &type : kSingleValueTypes) {
        for (int c = 0; c < type.components; ++c) {
            float v[4] = {1, 2, 3, 4};
            v[c] = nan;
            EXPECT_EQ(type.notEqual(v, v), 1) << type.name << " component " << c;
        }
    }
}

TEST(SingleValueNotEqual, SignedZerosAreEqual)
{
    const float a[2] = {0.0f, 1};
    const float b[2] = {-0.0f, 1};
    EXPECT_EQ(notEqualSFVec2f(a, b), 0);
    const float c[4] = {-0.0f, -0.0f, -0.0f, -0.0f};
    const float d[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (const auto &type : kSingleValueTypes)
        EXPECT_EQ(type.notEqual(c, d), 0) << type.name;
}

TEST(SingleValueNotEqual, ColoursDifferingOnlyInAlpha)
{
    const float a[4] = {0.1f, 0.2f, 0.3f, 1.0f};
    const float b[4] = {0.1f, 0.2f, 0.3f, 0.5f};
    EXPECT_EQ(notEqualSFColorRGBA(a, b), 1);
    EXPECT_EQ(notEqualSFColor(a, b), 0);
}

TEST(SingleValueNotEqual, HostileNumbers)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float a[4] = {3.4e38f, -3.4e38f, inf, -inf};
    const float b[4] = {3.4e38f, -3.4e38f, inf, inf};
    EXPECT_EQ(notEqualSFVec3f(a, b), 0);
    EXPECT_EQ(notEqualSFVec4f(a, b), 1);
}

TEST(NodeTypeName, EveryListedCode)
{
    EXPECT_EQ(sizeof kNodeTypes / sizeof kNodeTypes[0], 72u);
    std::string out = captureStdout([] {
        for (const auto &type : kNodeTypes)
            EXPECT_STREQ(getNodeTypeName(type.code), type.name) << type.code;
    });
    EXPECT_EQ(out, "");
}

TEST(NodeTypeName, Examples)
{
    EXPECT_STREQ(getNodeTypeName(0), "ANY");
    EXPECT_STREQ(getNodeTypeName(0x0102), "Switch");
    EXPECT_STREQ(getNodeTypeName(0x0103), "LOD");
    EXPECT_STREQ(getNodeTypeName(0x100B), "TavixEventSensor");
    EXPECT_STREQ(getNodeTypeName(0x3000), "Script");
}

TEST(NodeTypeName, NamesAreConstantTexts)
{
    EXPECT_EQ(getNodeTypeName(0x0200), getNodeTypeName(0x0200));
    std::string out = captureStdout([] { EXPECT_EQ(getNodeTypeName(3), getNodeTypeName(5)); });
    EXPECT_FALSE(out.empty());
}

TEST(NodeTypeName, UnknownCodeIsReported)
{
    std::string out = captureStdout([] { EXPECT_STREQ(getNodeTypeName(3), "Unknown"); });
    EXPECT_EQ(out, unknownMessage("0x0003"));
    out = captureStdout([] { EXPECT_STREQ(getNodeTypeName(-1), "Unknown"); });
    EXPECT_EQ(out, unknownMessage("0xffffffff"));
    out = captureStdout([] { EXPECT_STREQ(getNodeTypeName(INT32_MIN), "Unknown"); });
    EXPECT_EQ(out, unknownMessage("0x80000000"));
    out = captureStdout([] { EXPECT_STREQ(getNodeTypeName(0x100D), "Unknown"); });
    EXPECT_EQ(out, unknownMessage("0x100d"));
    out = captureStdout([] { EXPECT_STREQ(getNodeTypeName(0x12345), "Unknown"); });
    EXPECT_EQ(out, unknownMessage("0x12345"));
}

/* Codes are whole values: neighbours of listed codes, and listed codes with higher
 * bits set, are not in the table. */
TEST(NodeTypeName, CodesBetweenAndAroundListedOnesAreUnknown)
{
    std::set<int32_t> listed;
    for (const auto &type : kNodeTypes)
        listed.insert(type.code);
    std::set<int32_t> probes = {INT32_MIN, -0x0100, -2, -1, 0x3001, 0x4000, 0x10000, INT32_MAX};
    for (const auto &type : kNodeTypes) {
        for (int32_t probe : {type.code - 1, type.code + 1, type.code | 0x10000,
                              type.code | 0x1000000, type.code | INT32_MIN})
            probes.insert(probe);
    }
    for (int32_t probe : probes) {
        if (listed.count(probe))
            continue;
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%04x", static_cast<unsigned>(probe));
        std::string out =
            captureStdout([&] { EXPECT_STREQ(getNodeTypeName(probe), "Unknown") << probe; });
        EXPECT_EQ(out, unknownMessage(hex));
    }
}

TEST(GLErrorString, KnownCodes)
{
    std::string out = captureStdout([] {
        EXPECT_STREQ(getGLErrorString(0x0000), "No error");
        EXPECT_STREQ(getGLErrorString(0x0500), "Invalid enum");
        EXPECT_STREQ(getGLErrorString(0x0501), "Invalid value");
        EXPECT_STREQ(getGLErrorString(0x0502), "Invalid operation");
        EXPECT_STREQ(getGLErrorString(0x0505), "Out of memory");
    });
    EXPECT_EQ(out, "");
}

TEST(GLErrorString, OtherCodesAreUnknownWithoutAMessage)
{
    std::string out = captureStdout([] {
        for (uint32_t code :
             {0x0001u, 0x0503u, 0x0504u, 0x0506u, 0x0507u, 0x8031u, 0x10500u, 0xFFFFFFFFu})
            EXPECT_STREQ(getGLErrorString(code), "Unknown") << code;
    });
    EXPECT_EQ(out, "");
}
