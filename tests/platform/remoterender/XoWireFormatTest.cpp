// The wire format pinned byte for byte: every message type's code and field layout, written out here
// and not taken from the encoder. A renumbered type, a moved, added or re-typed field, or a changed
// scalar encoding fails here, because a viewer built from an older tree would misread it.
#include "XoRemoteRenderMessage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

// One field as the test writes it: its kind letter and the value's bytes in wire form.
//   s string, i int32, u uint32, q uint64, f float, b bool, F float array, I int32 array, y bytes
struct Row
{
    std::uint32_t code;
    const char* name;
    const char* kinds;
};

// The contract: codes and field kinds in wire order, by hand.
const std::vector<Row>& rows()
{
    static const std::vector<Row> table = {
        {1, "beginTransaction", "s"},
        {2, "endTransaction", "b"},
        {3, "clearSession", ""},
        {4, "addMesh", "sssFFFFIIiiss"},
        {5, "addMaterial", "sssufss"},
        {6, "addGroup", "sssF"},
        {7, "addInstance", "ssssFs"},
        {8, "addComponentDef", "ssbs"},
        {9, "addLight", "ssfuiffffbfsFb"},
        {10, "spawnInstances", "ssssiFs"},
        {11, "removeEntity", "ssbb"},
        {12, "removeEntityMeshes", "s"},
        {13, "assureEntityConnected", "ss"},
        {14, "generateMaterialMaps", "ssii"},
        {15, "mountExternalPak", "s"},
        {16, "setAssetTransform", "sF"},
        {17, "placeAsset", "sssF"},
        {18, "setAssetVisible", "sb"},
        {19, "addFile", "sssF"},
        {20, "setFileTransform", "sF"},
        {21, "setFileVisible", "sb"},
        {22, "enumExternalContents", "s"},
        {23, "setCamera", "FFFbbffiis"},
        {24, "setNavigationType", "i"},
        {25, "setNavigationSpeed", "i"},
        {26, "setSunByPos", "iff"},
        {27, "setSunByTime", "iffiiif"},
        {28, "setToneMapper", "fffbf"},
        {29, "takePicture", "sii"},
        {30, "sendInputEvent", "iiii"},
        {31, "sendConsoleCommand", "s"},
        {32, "sendMessage", "sy"},
        {33, "requestRenderExit", ""},
        {34, "requestSaveData", ""},
        {35, "setRenderPaused", "b"},
        {36, "enableVR", "b"},
        {37, "getWindowHandle", ""},
        {38, "useSharedRing", "q"},
        {100, "viewerStarted", "si"},
        {101, "windowHandle", "q"},
        {102, "pakMounted", "sb"},
        {103, "entityLost", "ss"},
        {104, "transactionApplied", "sbi"},
        {105, "dataSaved", "s"},
        {106, "viewerError", "is"},
        {107, "viewerMessage", "sy"},
        {108, "modelLoaded", "s"},
        {109, "modelLoadingProgress", "si"},
        {110, "enumAsset", "ss"},
        {111, "viewerExiting", ""},
        {112, "sharedRingRequest", ""},
    };
    return table;
}

void putU32(std::string& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += char((v >> (8 * i)) & 0xff);
}

void putU64(std::string& out, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out += char((v >> (8 * i)) & 0xff);
}

std::uint32_t floatBits(float f)
{
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

// A message of the row's type built through the public builder, with a distinct value per field
// (so two swapped fields of one kind show), and the frame those values must make.
struct Built
{
    std::vector<std::vector<float>> floats;
    std::vector<std::vector<std::int32_t>> ints;
    std::string blob = std::string("\x00\xff", 2);
    XoRemoteRenderMessage message;
    std::string expected;

    explicit Built(const Row& row) : message(XoMessageType(row.code))
    {
        const std::size_t n = std::strlen(row.kinds);
        floats.reserve(n);
        ints.reserve(n);
        std::string payload;
        for (std::size_t k = 0; k < n; ++k) {
            const int serial = int(k) + 1;
            switch (row.kinds[k]) {
            case 's': {
                const std::string text = "v" + std::to_string(serial);
                message.addString(text);
                putU32(payload, std::uint32_t(text.size()));
                payload += text;
                break;
            }
            case 'i':
                message.addInt(-serial);
                putU32(payload, std::uint32_t(-serial));
                break;
            case 'u':
                message.addUInt(0xC0000000u + std::uint32_t(serial));
                putU32(payload, 0xC0000000u + std::uint32_t(serial));
                break;
            case 'q':
                message.addUInt64(0x0102030405060700ull + std::uint64_t(serial));
                putU64(payload, 0x0102030405060700ull + std::uint64_t(serial));
                break;
            case 'f':
                message.addFloat(0.5f + float(serial));
                putU32(payload, floatBits(0.5f + float(serial)));
                break;
            case 'b':
                message.addBool(serial % 2 == 1);
                putU32(payload, serial % 2 == 1 ? 1u : 0u);
                break;
            case 'F':
                floats.push_back({float(serial), -2.0f});
                message.addFloatArray(floats.back().data(), floats.back().size());
                putU32(payload, 8);
                putU32(payload, floatBits(float(serial)));
                putU32(payload, floatBits(-2.0f));
                break;
            case 'I':
                ints.push_back({serial, -7});
                message.addIntArray(ints.back().data(), ints.back().size());
                putU32(payload, 8);
                putU32(payload, std::uint32_t(serial));
                putU32(payload, std::uint32_t(-7));
                break;
            case 'y':
                message.addBytes(blob.data(), blob.size());
                putU32(payload, std::uint32_t(blob.size()));
                payload += blob;
                break;
            default:
                ADD_FAILURE() << row.name << ": unknown kind letter " << row.kinds[k];
            }
        }
        putU32(expected, std::uint32_t(payload.size()));
        putU32(expected, row.code);
        expected += payload;
    }
};

} // namespace

TEST(WireFormat, everyTypeIsPinnedAndNoPinnedCodeIsMissing)
{
    std::set<std::uint32_t> pinned;
    for (const Row& row : rows())
        pinned.insert(row.code);
    std::set<std::uint32_t> known;
    for (XoMessageType type : XoRemoteRenderMessage::allTypes())
        known.insert(std::uint32_t(type));
    EXPECT_EQ(known, pinned);
    for (const Row& row : rows())
        EXPECT_EQ(std::string(XoRemoteRenderMessage::typeName(XoMessageType(row.code))), row.name)
            << row.code;
}

TEST(WireFormat, eachTypeEncodesToItsFixedBytesAndDecodesFromThem)
{
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.name);
        Built built(row);
        EXPECT_TRUE(built.message.matchesSchema());
        EXPECT_EQ(built.message.frameBytes(), built.expected);

        XoRemoteRenderMessage decoded;
        std::string error;
        ASSERT_TRUE(XoRemoteRenderMessage::decode(built.expected, decoded, error)) << error;
        EXPECT_EQ(std::uint32_t(decoded.type()), row.code);
        EXPECT_EQ(decoded.describe(), built.message.describe());
    }
}

TEST(WireFormat, scalarsStringsAndArraysHaveTheirLiteralLayout)
{
    // endTransaction fullUpdate=true: length 4, code 2, the boolean as a 32-bit 1.
    XoRemoteRenderMessage end(XoMessageType::EndTransaction);
    end.addBool(true);
    EXPECT_EQ(end.frameBytes(), std::string("\x04\x00\x00\x00\x02\x00\x00\x00\x01\x00\x00\x00", 12));

    // viewerStarted version="1.2" pid=258: a counted string, then the integer little-endian.
    XoRemoteRenderMessage started(XoMessageType::ViewerStarted);
    started.addString("1.2").addInt(258);
    EXPECT_EQ(started.frameBytes(), std::string("\x0b\x00\x00\x00\x64\x00\x00\x00\x03\x00\x00\x00"
                                                "1.2\x02\x01\x00\x00",
                                                19));

    // windowHandle: the handle as 8 bytes.
    XoRemoteRenderMessage handle(XoMessageType::WindowHandle);
    handle.addUInt64(0x1122334455667788ull);
    EXPECT_EQ(handle.frameBytes(), std::string("\x08\x00\x00\x00\x65\x00\x00\x00"
                                               "\x88\x77\x66\x55\x44\x33\x22\x11",
                                               16));

    // setAssetTransform name="" transform=[1]: an array's count is in bytes, not elements.
    const float one = 1.0f;
    XoRemoteRenderMessage transform(XoMessageType::SetAssetTransform);
    transform.addString("").addFloatArray(&one, 1);
    EXPECT_EQ(transform.frameBytes(), std::string("\x0c\x00\x00\x00\x10\x00\x00\x00"
                                                  "\x00\x00\x00\x00"
                                                  "\x04\x00\x00\x00\x00\x00\x80\x3f",
                                                  20));
}
