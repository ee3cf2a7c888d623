#include "Skrib/GlyvaInterface.h"
#include "glyph/Tesselator.h"
#include "glyph/glyphTesselator.h"
#include "shape/glyvaShape.h"
#include "solid/glyvaSolid.h"
#include "util/emuKD/kd.h"
#include "util/plyxTypes.h"
#include "util/plyxUtil.h"

int glyva_c_headers_compile(void)
{
    MFVec3f array = {0, 0};
    return sizeMFVec3f(&array, 0) + (int)sizeof(glyphInfoRecord) + (int)sizeof(glyvaShapedGlyph) +
           (int)sizeof(glyvaSolidVertex) + (int)sizeof(glyvaSolidOptions);
}
