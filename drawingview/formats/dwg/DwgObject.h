#pragma once

// One object of the AcDbObjects data: its framing (size, type, handle,
// extended data) and the data every object and every entity starts with.
// The object's own data follows in `data`; its handle references come from
// `handles`, a second reader over the same bytes.

#include "DwgBitReader.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace dv::dwg {

// Fixed type numbers; classes use 500 and up.
enum ObjectType : int {
    kText = 0x01,
    kAttrib,
    kAttdef,
    kBlock,
    kEndblk,
    kSeqend,
    kInsert,
    kMinsert,
    kVertex2d = 0x0A,
    kVertex3d,
    kVertexMesh,
    kVertexPface,
    kVertexPfaceFace,
    kPolyline2d,
    kPolyline3d,
    kArc,
    kCircle,
    kLine,
    kDimOrdinate,
    kDimLinear,
    kDimAligned,
    kDimAng3Pt,
    kDimAng2Ln,
    kDimRadius,
    kDimDiameter,
    kPoint,
    k3dFace,
    kPolylinePface,
    kPolylineMesh,
    kSolid,
    kTrace,
    kShape,
    kViewport,
    kEllipse,
    kSpline,
    kRegion,
    k3dSolid,
    kBody,
    kRay,
    kXline,
    kDictionary,
    kOleFrame,
    kMText,
    kLeader,
    kTolerance,
    kMLine,
    kBlockControl,
    kBlockHeader,
    kLayerControl,
    kLayer,
    kStyleControl,
    kStyle,
    kLtypeControl = 0x38,
    kLtype,
    kViewControl = 0x3C,
    kView,
    kUcsControl,
    kUcs,
    kVportControl,
    kVport,
    kAppidControl,
    kAppid,
    kDimstyleControl,
    kDimstyle,
    kVpEntHdrControl,
    kVpEntHdr,
    kGroup,
    kMLineStyle,
    kOle2Frame,
    kDummy,
    kLongTransaction,
    kLwPolyline,
    kHatch,
    kXRecord,
    kPlaceholder,
    kVbaProject,
    kLayout,
    kProxyEntity = 0x1F2
};

struct ObjectHead {
    uint64_t handle = 0;
    int type = 0;
    bool entity = false;
    // Entities
    int entMode = 2; // 0 owned (owner handle follows), 1 paper space, 2 model space
    bool noLinks = true;
    bool byLayerLt = true; // R13-R14
    int ltFlags = 0, psFlags = 0, materialFlags = 0;
    CmColor color;
    double ltScale = 1;
    int invisible = 0;
    int lineWeight = 29;       // stored index; 29 is ByLayer
    bool visualStyles[3] = {}; // R2010 on: full, face and edge styles follow as handles
    int numReactors = 0;
    bool xdicMissing = false;
    // From the handle stream
    uint64_t owner = 0, layer = 0, ltype = 0;
};

class ObjectReader {
public:
    // `objects` is the AcDbObjects data; `offset` where the object starts.
    // Reads the framing; FormatError when it does not fit.
    ObjectReader(const char* objects, size_t size, uint64_t offset, Release release);

    int type() const { return m_type; }
    // Reads the common data; entities when `entity` (fixed types know,
    // classes say). Leaves `data` at the object's own fields.
    void readCommon(bool entity);
    // After the object's own data: owner, reactors, xdictionary and, for
    // entities, layer and line type.
    void readCommonHandles();
    HandleRef handle() { return handles.H(head.handle); }
    uint64_t handleValue() { return handles.H(head.handle).value; }

    // The entity's stored graphics (the proxy graphics of custom entities).
    std::string graphics;
    // The first text of the extended data each application attached.
    std::vector<std::pair<uint64_t, std::string>> eedTexts;
    // Of a viewport, each application's extended data: its APPID and a
    // reader over its items.
    struct ExtendedData {
        uint64_t app = 0;
        BitReader items;
    };
    std::vector<ExtendedData> extended;

    ObjectHead head;
    BitReader data;
    BitReader handles;

private:
    // The handle references start at bit `handleStart` of the object.
    void splitAt(size_t handleStart);

    int m_type = 0;
};

// An object's type and size, without the rest of its framing: enough to
// tell entities from the objects read first.
struct ObjectPeek {
    int type = 0;
    size_t bytes = 0;
};
ObjectPeek peekObject(const char* objects, size_t size, uint64_t offset, Release release);

// A stored line weight index as DXF writes it (hundredths of a millimetre,
// -1 ByLayer, -2 ByBlock, -3 default).
int lineWeightValue(int index);

} // namespace dv::dwg
