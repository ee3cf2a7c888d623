#include "util/plyxUtil.h"

namespace
{

const char *const kSource = "plyxUtil";
constexpr int kUnknownTypeLine = 346;
const char *const kUnknown = "Unknown";

/* Exact comparison: a NaN differs even from itself, and -0.0 equals +0.0. */
template <int Components> int notEqualComponents(const float *a, const float *b)
{
    for (int i = 0; i < Components; ++i) {
        if (!(a[i] == b[i]))
            return 1;
    }
    return 0;
}

struct NodeTypeName {
    int32_t type;
    const char *name;
};

/* Ascending by code, for the binary search; the checks below keep it so. */
constexpr NodeTypeName kNodeTypeNames[] = {
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

constexpr int kNodeTypeCount = sizeof kNodeTypeNames / sizeof kNodeTypeNames[0];

constexpr bool isAscending()
{
    for (int i = 1; i < kNodeTypeCount; ++i) {
        if (kNodeTypeNames[i - 1].type >= kNodeTypeNames[i].type)
            return false;
    }
    return true;
}

static_assert(kNodeTypeCount == 72, "the node type table has 72 codes");
static_assert(isAscending(), "the node type table must stay sorted by code");

/* The name of a listed code, or null. The code is matched as a whole value. */
const char *findNodeTypeName(int32_t type)
{
    int low = 0;
    int high = kNodeTypeCount;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (kNodeTypeNames[middle].type == type)
            return kNodeTypeNames[middle].name;
        if (kNodeTypeNames[middle].type < type)
            low = middle + 1;
        else
            high = middle;
    }
    return nullptr;
}

} // namespace

int notEqualSFVec2f(const float *a, const float *b)
{
    return notEqualComponents<2>(a, b);
}

int notEqualSFVec3f(const float *a, const float *b)
{
    return notEqualComponents<3>(a, b);
}

int notEqualSFVec4f(const float *a, const float *b)
{
    return notEqualComponents<4>(a, b);
}

int notEqualSFColor(const float *a, const float *b)
{
    return notEqualComponents<3>(a, b);
}

int notEqualSFColorRGBA(const float *a, const float *b)
{
    return notEqualComponents<4>(a, b);
}

int notEqualSFRotation(const float *a, const float *b)
{
    return notEqualComponents<4>(a, b);
}

const char *getNodeTypeName(int32_t type)
{
    const char *name = findNodeTypeName(type);
    if (name)
        return name;
    plyxErrorMessage(kSource, kUnknownTypeLine, "type 0x%04x not yet supported\n",
                     static_cast<unsigned>(type));
    return kUnknown;
}

const char *getGLErrorString(uint32_t error)
{
    switch (error) {
    case 0x0000: /* GL_NO_ERROR */
        return "No error";
    case 0x0500: /* GL_INVALID_ENUM */
        return "Invalid enum";
    case 0x0501: /* GL_INVALID_VALUE */
        return "Invalid value";
    case 0x0502: /* GL_INVALID_OPERATION */
        return "Invalid operation";
    case 0x0505: /* GL_OUT_OF_MEMORY */
        return "Out of memory";
    default:
        return kUnknown;
    }
}
