#pragma once

#include "XoRemoteRenderExport.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Every message type of the channel. Values are the wire codes; never renumber.
enum class XoMessageType : std::uint32_t
{
    // host -> viewer, one per sender operation
    BeginTransaction = 1,
    EndTransaction,
    ClearSession,
    AddMesh,
    AddMaterial,
    AddGroup,
    AddInstance,
    AddComponentDef,
    AddLight,
    SpawnInstances,
    RemoveEntity,
    RemoveEntityMeshes,
    AssureEntityConnected,
    GenerateMaterialMaps,
    MountExternalPak,
    SetAssetTransform,
    PlaceAsset,
    SetAssetVisible,
    AddFile,
    SetFileTransform,
    SetFileVisible,
    EnumExternalContents,
    SetCamera,
    SetNavigationType,
    SetNavigationSpeed,
    SetSunByPos,
    SetSunByTime,
    SetToneMapper,
    TakePicture,
    SendInputEvent,
    SendConsoleCommand,
    SendMessage,
    RequestRenderExit,
    RequestSaveData,
    SetRenderPaused,
    EnableVR,
    GetWindowHandle,
    // The transport's own: the host hands over a shared ring (its descriptor rides along), and every
    // later frame to the viewer goes through it.
    UseSharedRing,

    // viewer -> host
    ViewerStarted = 100,
    WindowHandle,
    PakMounted,
    EntityLost,
    TransactionApplied,
    DataSaved,
    ViewerError,
    ViewerMessage,
    ModelLoaded,
    ModelLoadingProgress,
    EnumAsset,
    ViewerExiting,
    // The transport's own: the viewer can read frames from a shared ring.
    SharedRingRequest,
};

// Kinds of the values a message carries. Scalars are 4 bytes little-endian (U64: 8); strings and
// byte blocks a 32-bit byte count and the bytes; arrays a 32-bit byte count and the raw
// little-endian elements, which travel exactly as the caller holds them.
enum class XoFieldKind : std::uint8_t
{
    String,
    Int32,
    UInt32,
    UInt64,
    Float,
    Bool,
    FloatArray,
    Int32Array,
    Bytes,
};

// One value of a message. Strings, arrays and bytes are views: into the caller's memory while a
// message is being sent, into the receive buffer (kept alive by the message) once decoded.
struct XOREMOTERENDER_EXPORT XoMessageField
{
    XoFieldKind kind = XoFieldKind::Int32;
    const char* data = nullptr; // String, Bytes, arrays
    std::uint32_t size = 0;     // bytes behind data
    std::uint64_t scalar = 0;   // Int32/UInt32/UInt64/Bool bits, Float bits in the low 32

    std::string_view text() const { return std::string_view(data, size); }
    std::int32_t toInt() const { return static_cast<std::int32_t>(static_cast<std::uint32_t>(scalar)); }
    std::uint32_t toUInt() const { return static_cast<std::uint32_t>(scalar); }
    std::uint64_t toUInt64() const { return scalar; }
    float toFloat() const;
    bool toBool() const { return scalar != 0; }
    std::size_t elementCount() const { return size / 4; }
    // Element i of an array (the bytes need not be aligned).
    float floatAt(std::size_t i) const;
    std::int32_t intAt(std::size_t i) const;
};

// One channel message: its type and its values in the order of the type's schema.
//
// Wire frame: u32 payload length, u32 type, then the payload (the fields in schema order, with
// no padding and nothing after the last one). A decoder accepts a frame only when every field
// fits exactly, strings and byte counts stay inside the frame, arrays are whole elements and
// booleans are 0 or 1.
class XOREMOTERENDER_EXPORT XoRemoteRenderMessage
{
public:
    static constexpr std::uint32_t kHeaderSize = 8;
    // Frames above this are refused by every reader: nothing legitimate comes near it.
    static constexpr std::uint32_t kMaxPayload = 1u << 30;

    explicit XoRemoteRenderMessage(XoMessageType type = XoMessageType::ClearSession);
    ~XoRemoteRenderMessage();
    // Fields view the message's own bytes: a copy would view the original's.
    XoRemoteRenderMessage(const XoRemoteRenderMessage&) = delete;
    XoRemoteRenderMessage& operator=(const XoRemoteRenderMessage&) = delete;
    XoRemoteRenderMessage(XoRemoteRenderMessage&&) noexcept;
    XoRemoteRenderMessage& operator=(XoRemoteRenderMessage&&) noexcept;

    XoMessageType type() const { return m_type; }
    // The operation name of the type ("addMesh", "sendConsoleCommand", "viewerStarted", ...).
    const char* name() const;
    static const char* typeName(XoMessageType type);
    static bool isKnownType(std::uint32_t code);
    // Scene content: what a viewer holds back while a transaction is open and applies when it ends.
    static bool isSceneContent(XoMessageType type);
    // Every type, and the names and kinds of a type's fields in wire order.
    static std::vector<XoMessageType> allTypes();
    static std::vector<std::pair<std::string, XoFieldKind>> schema(XoMessageType type);

    // Building: values are appended in the schema's order and encoded at once. Strings are copied (they
    // are small); arrays and bytes are referenced and must stay valid until the message is sent.
    XoRemoteRenderMessage& addString(std::string_view text);
    XoRemoteRenderMessage& addInt(std::int32_t value);
    XoRemoteRenderMessage& addUInt(std::uint32_t value);
    XoRemoteRenderMessage& addUInt64(std::uint64_t value);
    XoRemoteRenderMessage& addFloat(float value);
    XoRemoteRenderMessage& addBool(bool value);
    XoRemoteRenderMessage& addFloatArray(const float* values, std::size_t count);
    XoRemoteRenderMessage& addIntArray(const std::int32_t* values, std::size_t count);
    XoRemoteRenderMessage& addBytes(const void* data, std::size_t size);

    // For a message being built, the views are valid until the message changes or dies.
    const std::vector<XoMessageField>& fields() const;
    const XoMessageField& field(std::size_t index) const { return fields().at(index); }
    // Field by its schema name; throws std::out_of_range for a name the type does not have.
    const XoMessageField& field(std::string_view name) const;

    // The frame a decoded message's views point into (null for a message being built): what keeps an
    // array alive without the rest of the message.
    const std::shared_ptr<const char>& storage() const { return m_storage; }

    // True when the fields match the type's schema in number and kinds.
    bool matchesSchema() const;
    std::size_t payloadSize() const;

    // Frame pieces for a gathering write: small parts in the message's own encoded bytes, arrays and
    // byte blocks pointing at the caller's memory. Valid until the message changes or dies.
    struct Piece
    {
        const void* data;
        std::size_t size;
    };
    std::vector<Piece> frame() const;
    // The same, appended to `pieces` (whose capacity a caller can keep between messages).
    void appendFrame(std::vector<Piece>& pieces) const;
    // The whole frame as one contiguous block (for tests and small messages).
    std::string frameBytes() const;

    // Decodes one whole frame. On success the message keeps `storage` alive and its views point
    // into it. On failure returns false and describes the fault in `error`.
    static bool decode(std::shared_ptr<const char> storage, std::size_t size, XoRemoteRenderMessage& out,
                       std::string& error);
    static bool decode(const std::string& bytes, XoRemoteRenderMessage& out, std::string& error);

    // One readable line: the operation name, then name=value for each field, separated by single
    // blanks. Strings are quoted with \" \\ \n \r \t escaped; numbers in the C locale, floats as
    // printf "%g" (so -0 stays "-0"); booleans true/false; arrays as [v1,v2,...] in full; byte
    // blocks as their byte count. Example:
    //   addInstance name="A" parent="Model" component="" asset="A" transform=[1,0,0,0,...] material=""
    std::string describe() const;

private:
    // A message being built: its frame encoded as the values come (header first, arrays and byte blocks
    // left out and spliced in from the caller's memory when written), so sending copies each small value
    // once, straight into the transport. The state comes from a per-thread pool and goes back when the
    // message dies: a refresh builds two messages per entity, and allocating per message and per string
    // was a good part of its cost.
    struct Building;
    struct BuildingRelease
    {
        void operator()(Building* building) const;
    };

    // With null: a state to build with (a spare one of this thread, or a new one). With a state: takes it
    // back, for the thread's spares or to delete.
    static Building* recycle(Building* returned);
    Building& building();
    char* grow(std::size_t bytes);
    void pushScalar(XoFieldKind kind, std::uint64_t bits);
    void pushBlock(XoFieldKind kind, const void* data, std::size_t size, bool spliced);

    XoMessageType m_type;
    // mutable: the header of a message without values is made when its frame is asked for.
    mutable std::unique_ptr<Building, BuildingRelease> m_building;
    // A decoded message's fields, viewing m_storage (a message being built keeps its own in m_building).
    std::vector<XoMessageField> m_fields;
    std::shared_ptr<const char> m_storage;
    std::size_t m_storageSize = 0;
};
