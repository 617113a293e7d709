#include "XoRemoteRenderMessage.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace {

using K = XoFieldKind;

struct FieldLayout
{
    const char* name;
    XoFieldKind kind;
};

struct TypeLayout
{
    XoMessageType type;
    const char* name;
    std::vector<FieldLayout> fields;
};

// The one description of every message: encoder checks, decoder, and text lines all read it.
const std::vector<TypeLayout>& schemas()
{
    static const std::vector<TypeLayout> table = {
        {XoMessageType::BeginTransaction, "beginTransaction", {{"name", K::String}}},
        {XoMessageType::EndTransaction, "endTransaction", {{"fullUpdate", K::Bool}}},
        {XoMessageType::ClearSession, "clearSession", {}},
        {XoMessageType::AddMesh,
         "addMesh",
         {{"name", K::String},
          {"parent", K::String},
          {"component", K::String},
          {"positions", K::FloatArray},
          {"normals", K::FloatArray},
          {"uv0", K::FloatArray},
          {"uv1", K::FloatArray},
          {"flags", K::Int32Array},
          {"faceSizes", K::Int32Array},
          {"faceSizeCount", K::Int32},
          {"vertexCount", K::Int32},
          {"material", K::String},
          {"secondMaterial", K::String}}},
        {XoMessageType::AddMaterial,
         "addMaterial",
         {{"name", K::String},
          {"baseMaterial", K::String},
          {"texture", K::String},
          {"colour", K::UInt32},
          {"opacity", K::Float},
          {"secondTexture", K::String},
          {"parameters", K::String}}},
        {XoMessageType::AddGroup,
         "addGroup",
         {{"name", K::String}, {"parent", K::String}, {"label", K::String}, {"transform", K::FloatArray}}},
        {XoMessageType::AddInstance,
         "addInstance",
         {{"name", K::String},
          {"parent", K::String},
          {"component", K::String},
          {"asset", K::String},
          {"transform", K::FloatArray},
          {"material", K::String}}},
        {XoMessageType::AddComponentDef,
         "addComponentDef",
         {{"name", K::String}, {"label", K::String}, {"external", K::Bool}, {"source", K::String}}},
        {XoMessageType::AddLight,
         "addLight",
         {{"name", K::String},
          {"parent", K::String},
          {"intensity", K::Float},
          {"colour", K::UInt32},
          {"type", K::Int32},
          {"hotspotAngle", K::Float},
          {"falloffAngle", K::Float},
          {"size1", K::Float},
          {"size2", K::Float},
          {"castShadows", K::Bool},
          {"attenuationRadius", K::Float},
          {"iesFile", K::String},
          {"transform", K::FloatArray},
          {"on", K::Bool}}},
        {XoMessageType::SpawnInstances,
         "spawnInstances",
         {{"name", K::String},
          {"parent", K::String},
          {"component", K::String},
          {"asset", K::String},
          {"count", K::Int32},
          {"transforms", K::FloatArray},
          {"material", K::String}}},
        {XoMessageType::RemoveEntity,
         "removeEntity",
         {{"name", K::String},
          {"parent", K::String},
          {"removeChildren", K::Bool},
          {"removeMeshes", K::Bool}}},
        {XoMessageType::RemoveEntityMeshes, "removeEntityMeshes", {{"name", K::String}}},
        {XoMessageType::AssureEntityConnected,
         "assureEntityConnected",
         {{"name", K::String}, {"parent", K::String}}},
        {XoMessageType::GenerateMaterialMaps,
         "generateMaterialMaps",
         {{"name", K::String}, {"parameters", K::String}, {"width", K::Int32}, {"height", K::Int32}}},
        {XoMessageType::MountExternalPak, "mountExternalPak", {{"path", K::String}}},
        {XoMessageType::SetAssetTransform,
         "setAssetTransform",
         {{"name", K::String}, {"transform", K::FloatArray}}},
        {XoMessageType::PlaceAsset,
         "placeAsset",
         {{"name", K::String}, {"parent", K::String}, {"asset", K::String}, {"transform", K::FloatArray}}},
        {XoMessageType::SetAssetVisible, "setAssetVisible", {{"name", K::String}, {"visible", K::Bool}}},
        {XoMessageType::AddFile,
         "addFile",
         {{"name", K::String}, {"parent", K::String}, {"path", K::String}, {"transform", K::FloatArray}}},
        {XoMessageType::SetFileTransform,
         "setFileTransform",
         {{"name", K::String}, {"transform", K::FloatArray}}},
        {XoMessageType::SetFileVisible, "setFileVisible", {{"name", K::String}, {"visible", K::Bool}}},
        {XoMessageType::EnumExternalContents, "enumExternalContents", {{"path", K::String}}},
        {XoMessageType::SetCamera,
         "setCamera",
         {{"aim", K::FloatArray},
          {"position", K::FloatArray},
          {"up", K::FloatArray},
          {"animate", K::Bool},
          {"orthographic", K::Bool},
          {"fieldOfView", K::Float},
          {"aspectRatio", K::Float},
          {"viewIndex", K::Int32},
          {"flags", K::Int32},
          {"name", K::String}}},
        {XoMessageType::SetNavigationType, "setNavigationType", {{"type", K::Int32}}},
        {XoMessageType::SetNavigationSpeed, "setNavigationSpeed", {{"speed", K::Int32}}},
        {XoMessageType::SetSunByPos,
         "setSunByPos",
         {{"northOffset", K::Int32}, {"azimuth", K::Float}, {"elevation", K::Float}}},
        {XoMessageType::SetSunByTime,
         "setSunByTime",
         {{"northOffset", K::Int32},
          {"latitude", K::Float},
          {"longitude", K::Float},
          {"year", K::Int32},
          {"month", K::Int32},
          {"day", K::Int32},
          {"solarTime", K::Float}}},
        {XoMessageType::SetToneMapper,
         "setToneMapper",
         {{"exposure", K::Float},
          {"contrast", K::Float},
          {"saturation", K::Float},
          {"autoExposure", K::Bool},
          {"gamma", K::Float}}},
        {XoMessageType::TakePicture,
         "takePicture",
         {{"path", K::String}, {"width", K::Int32}, {"height", K::Int32}}},
        {XoMessageType::SendInputEvent,
         "sendInputEvent",
         {{"type", K::Int32}, {"a", K::Int32}, {"x", K::Int32}, {"y", K::Int32}}},
        {XoMessageType::SendConsoleCommand, "sendConsoleCommand", {{"command", K::String}}},
        {XoMessageType::SendMessage, "sendMessage", {{"name", K::String}, {"data", K::Bytes}}},
        {XoMessageType::RequestRenderExit, "requestRenderExit", {}},
        {XoMessageType::RequestSaveData, "requestSaveData", {}},
        {XoMessageType::SetRenderPaused, "setRenderPaused", {{"paused", K::Bool}}},
        {XoMessageType::EnableVR, "enableVR", {{"enabled", K::Bool}}},
        {XoMessageType::GetWindowHandle, "getWindowHandle", {}},
        {XoMessageType::UseSharedRing, "useSharedRing", {{"capacity", K::UInt64}}},

        {XoMessageType::ViewerStarted, "viewerStarted", {{"version", K::String}, {"pid", K::Int32}}},
        {XoMessageType::WindowHandle, "windowHandle", {{"handle", K::UInt64}}},
        {XoMessageType::PakMounted, "pakMounted", {{"path", K::String}, {"mounted", K::Bool}}},
        {XoMessageType::EntityLost, "entityLost", {{"name", K::String}, {"parent", K::String}}},
        {XoMessageType::TransactionApplied,
         "transactionApplied",
         {{"name", K::String}, {"fullUpdate", K::Bool}, {"rejected", K::Int32}}},
        {XoMessageType::DataSaved, "dataSaved", {{"path", K::String}}},
        {XoMessageType::ViewerError, "viewerError", {{"code", K::Int32}, {"message", K::String}}},
        {XoMessageType::ViewerMessage, "viewerMessage", {{"name", K::String}, {"data", K::Bytes}}},
        {XoMessageType::ModelLoaded, "modelLoaded", {{"name", K::String}}},
        {XoMessageType::ModelLoadingProgress,
         "modelLoadingProgress",
         {{"name", K::String}, {"percent", K::Int32}}},
        {XoMessageType::EnumAsset, "enumAsset", {{"pak", K::String}, {"assets", K::String}}},
        {XoMessageType::ViewerExiting, "viewerExiting", {}},
        {XoMessageType::SharedRingRequest, "sharedRingRequest", {}},
    };
    return table;
}

const TypeLayout* schemaOf(std::uint32_t code)
{
    // Built once: codes index straight into the table.
    static const std::vector<const TypeLayout*> byCode = [] {
        std::vector<const TypeLayout*> index(256, nullptr);
        for (const TypeLayout& layout : schemas())
            index[static_cast<std::uint32_t>(layout.type)] = &layout;
        return index;
    }();
    return code < byCode.size() ? byCode[code] : nullptr;
}

bool isVariableSize(XoFieldKind kind)
{
    return kind == K::String || kind == K::Bytes || kind == K::FloatArray || kind == K::Int32Array;
}

std::uint32_t scalarSize(XoFieldKind kind)
{
    return kind == K::UInt64 ? 8u : 4u;
}

std::uint32_t readU32(const char* p)
{
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v; // little-endian machines only, checked at compile time below
}

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the channel writes host memory as little-endian");

void appendFloat(std::string& out, float value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(value));
    out += buffer;
}

void appendQuoted(std::string& out, std::string_view text)
{
    out += '"';
    for (char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
    out += '"';
}

// Every refusal of decode: the reason, formatted, into error, and false.
__attribute__((format(printf, 2, 3))) bool refuse(std::string& error, const char* format, ...)
{
    char text[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    error = text;
    return false;
}

} // namespace

float XoMessageField::toFloat() const
{
    const std::uint32_t bits = static_cast<std::uint32_t>(scalar);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

float XoMessageField::floatAt(std::size_t i) const
{
    float value;
    std::memcpy(&value, data + 4 * i, 4);
    return value;
}

std::int32_t XoMessageField::intAt(std::size_t i) const
{
    std::int32_t value;
    std::memcpy(&value, data + 4 * i, 4);
    return value;
}

// A message being built: the frame's bytes without its spliced arrays, and where each value starts.
struct XoRemoteRenderMessage::Building
{
    struct Slot
    {
        XoFieldKind kind;
        bool spliced;       // an array or byte block written from the caller's memory, not from bytes
        std::uint32_t at;   // where the value's encoding (its count, for variable sizes) starts in bytes
        std::uint32_t size; // bytes of a variable-size value
        const char* data;   // the caller's memory of a spliced value
    };
    std::vector<char> bytes;
    std::vector<Slot> slots;
    std::size_t splicedBytes = 0;

    // Field by field: a slot assembled on the stack and copied in whole stalled on the mixed-size stores.
    void addSlot(XoFieldKind kind, bool spliced, std::uint32_t at, std::uint32_t size, const char* data)
    {
        Slot& slot = slots.emplace_back();
        slot.kind = kind;
        slot.spliced = spliced;
        slot.at = at;
        slot.size = size;
        slot.data = data;
    }
    // fields() of a message being built, made when asked for (tests, text lines), not while sending.
    std::vector<XoMessageField> fields;
    bool fieldsCurrent = false;

    void reset()
    {
        bytes.assign(kHeaderSize, '\0');
        slots.clear();
        splicedBytes = 0;
        fields.clear();
        fieldsCurrent = false;
    }
};

namespace {

// Building states kept per thread: a message is built, sent and dropped on one thread, so the same few go
// round. One that grew past kKeptBytes (a message with a large string) is not kept.
constexpr std::size_t kPoolSize = 8;
constexpr std::size_t kKeptBytes = 64u << 10;

// Trivially destructible, so it can still be read while the thread's other objects are destroyed (a
// message that dies after its thread's pool goes straight to delete).
thread_local bool poolClosed = false;

} // namespace

XoRemoteRenderMessage::Building* XoRemoteRenderMessage::recycle(Building* returned)
{
    struct Spares
    {
        std::vector<Building*> list;
        ~Spares()
        {
            poolClosed = true;
            for (Building* b : list)
                delete b;
        }
    };
    thread_local Spares spares;
    if (!returned) {
        if (poolClosed || spares.list.empty()) return new Building;
        Building* b = spares.list.back();
        spares.list.pop_back();
        return b;
    }
    if (!poolClosed && spares.list.size() < kPoolSize && returned->bytes.capacity() <= kKeptBytes) {
        spares.list.push_back(returned);
        return nullptr;
    }
    delete returned;
    return nullptr;
}

void XoRemoteRenderMessage::BuildingRelease::operator()(Building* building) const
{
    recycle(building);
}

XoRemoteRenderMessage::XoRemoteRenderMessage(XoMessageType type) : m_type(type) {}

XoRemoteRenderMessage::~XoRemoteRenderMessage() = default;
XoRemoteRenderMessage::XoRemoteRenderMessage(XoRemoteRenderMessage&&) noexcept = default;
XoRemoteRenderMessage& XoRemoteRenderMessage::operator=(XoRemoteRenderMessage&&) noexcept = default;

XoRemoteRenderMessage::Building& XoRemoteRenderMessage::building()
{
    if (m_building) return *m_building;
    m_building.reset(recycle(nullptr));
    m_building->reset();
    if (m_storage) {
        // A decoded message that gets more values: what it holds is encoded again, its arrays still
        // viewing the frame it keeps.
        const std::vector<XoMessageField> decoded = std::move(m_fields);
        m_fields.clear();
        for (const XoMessageField& f : decoded) {
            if (isVariableSize(f.kind))
                pushBlock(f.kind, f.data, f.size, f.kind != K::String);
            else
                pushScalar(f.kind, f.scalar);
        }
    }
    return *m_building;
}

char* XoRemoteRenderMessage::grow(std::size_t bytes)
{
    std::vector<char>& b = building().bytes;
    const std::size_t at = b.size();
    b.resize(at + bytes);
    return b.data() + at;
}

void XoRemoteRenderMessage::pushScalar(XoFieldKind kind, std::uint64_t bits)
{
    Building& b = building();
    b.addSlot(kind, false, std::uint32_t(b.bytes.size()), scalarSize(kind), nullptr);
    b.fieldsCurrent = false;
    std::memcpy(grow(scalarSize(kind)), &bits, scalarSize(kind));
}

void XoRemoteRenderMessage::pushBlock(XoFieldKind kind, const void* data, std::size_t size, bool spliced)
{
    Building& b = building();
    const std::uint32_t count = data ? static_cast<std::uint32_t>(size) : 0u;
    b.addSlot(kind, spliced, std::uint32_t(b.bytes.size()), count, static_cast<const char*>(data));
    b.fieldsCurrent = false;
    char* out = grow(4 + (spliced ? 0 : count));
    std::memcpy(out, &count, 4);
    if (spliced)
        b.splicedBytes += count;
    else if (count)
        std::memcpy(out + 4, data, count);
}

const char* XoRemoteRenderMessage::name() const
{
    return typeName(m_type);
}

const char* XoRemoteRenderMessage::typeName(XoMessageType type)
{
    const TypeLayout* layout = schemaOf(static_cast<std::uint32_t>(type));
    return layout ? layout->name : "unknown";
}

bool XoRemoteRenderMessage::isKnownType(std::uint32_t code)
{
    return schemaOf(code) != nullptr;
}

std::vector<XoMessageType> XoRemoteRenderMessage::allTypes()
{
    std::vector<XoMessageType> types;
    for (const TypeLayout& layout : schemas())
        types.push_back(layout.type);
    return types;
}

std::vector<std::pair<std::string, XoFieldKind>> XoRemoteRenderMessage::schema(XoMessageType type)
{
    std::vector<std::pair<std::string, XoFieldKind>> fields;
    if (const TypeLayout* layout = schemaOf(static_cast<std::uint32_t>(type))) {
        for (const FieldLayout& f : layout->fields)
            fields.emplace_back(f.name, f.kind);
    }
    return fields;
}

XoRemoteRenderMessage& XoRemoteRenderMessage::addString(std::string_view text)
{
    pushBlock(K::String, text.data() ? text.data() : "", text.size(), false);
    return *this;
}

XoRemoteRenderMessage& XoRemoteRenderMessage::addInt(std::int32_t value)
{
    pushScalar(K::Int32, static_cast<std::uint32_t>(value));
    return *this;
}

XoRemoteRenderMessage& XoRemoteRenderMessage::addUInt(std::uint32_t value)
{
    pushScalar(K::UInt32, value);
    return *this;
}

XoRemoteRenderMessage& XoRemoteRenderMessage::addUInt64(std::uint64_t value)
{
    pushScalar(K::UInt64, value);
    return *this;
}

XoRemoteRenderMessage& XoRemoteRenderMessage::addFloat(float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    pushScalar(K::Float, bits);
    return *this;
}

XoRemoteRenderMessage& XoRemoteRenderMessage::addBool(bool value)
{
    pushScalar(K::Bool, value ? 1 : 0);
    return *this;
}

XoRemoteRenderMessage& XoRemoteRenderMessage::addFloatArray(const float* values, std::size_t count)
{
    pushBlock(K::FloatArray, values, count * 4, true);
    return *this;
}

XoRemoteRenderMessage& XoRemoteRenderMessage::addIntArray(const std::int32_t* values, std::size_t count)
{
    pushBlock(K::Int32Array, values, count * 4, true);
    return *this;
}

XoRemoteRenderMessage& XoRemoteRenderMessage::addBytes(const void* data, std::size_t size)
{
    pushBlock(K::Bytes, data, size, true);
    return *this;
}

const std::vector<XoMessageField>& XoRemoteRenderMessage::fields() const
{
    if (!m_building) return m_fields;
    Building& b = *m_building;
    if (b.fieldsCurrent) return b.fields;
    b.fields.clear();
    b.fields.reserve(b.slots.size());
    for (const Building::Slot& slot : b.slots) {
        XoMessageField f;
        f.kind = slot.kind;
        f.size = slot.size;
        const char* at = b.bytes.data() + slot.at;
        if (!isVariableSize(slot.kind))
            std::memcpy(&f.scalar, at, scalarSize(slot.kind));
        else if (slot.spliced)
            f.data = slot.data;
        else
            f.data = at + 4;
        b.fields.push_back(f);
    }
    b.fieldsCurrent = true;
    return b.fields;
}

const XoMessageField& XoRemoteRenderMessage::field(std::string_view name) const
{
    const TypeLayout* layout = schemaOf(static_cast<std::uint32_t>(m_type));
    if (layout) {
        const std::vector<XoMessageField>& values = fields();
        for (std::size_t i = 0; i < layout->fields.size() && i < values.size(); ++i) {
            if (name == layout->fields[i].name) return values[i];
        }
    }
    throw std::out_of_range(std::string("no field ") + std::string(name) + " in " + typeName(m_type));
}

bool XoRemoteRenderMessage::matchesSchema() const
{
    const TypeLayout* layout = schemaOf(static_cast<std::uint32_t>(m_type));
    if (!layout) return false;
    if (m_building) {
        const std::vector<Building::Slot>& slots = m_building->slots;
        if (layout->fields.size() != slots.size()) return false;
        for (std::size_t i = 0; i < slots.size(); ++i) {
            if (layout->fields[i].kind != slots[i].kind) return false;
        }
        return true;
    }
    if (layout->fields.size() != m_fields.size()) return false;
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        if (layout->fields[i].kind != m_fields[i].kind) return false;
    }
    return true;
}

std::size_t XoRemoteRenderMessage::payloadSize() const
{
    if (m_building) return m_building->bytes.size() - kHeaderSize + m_building->splicedBytes;
    if (m_storage) return m_storageSize - kHeaderSize;
    return 0;
}

std::vector<XoRemoteRenderMessage::Piece> XoRemoteRenderMessage::frame() const
{
    std::vector<Piece> pieces;
    appendFrame(pieces);
    return pieces;
}

void XoRemoteRenderMessage::appendFrame(std::vector<Piece>& pieces) const
{
    if (!m_building && m_storage) {
        // A decoded message is its frame.
        pieces.push_back({m_storage.get(), m_storageSize});
        return;
    }
    if (!m_building) {
        // A message without values (nor a frame it came from): its header is all there is.
        m_building.reset(recycle(nullptr));
        m_building->reset();
    }
    Building& b = *m_building;
    const std::uint32_t payload = static_cast<std::uint32_t>(payloadSize());
    const std::uint32_t code = static_cast<std::uint32_t>(m_type);
    std::memcpy(b.bytes.data(), &payload, 4);
    std::memcpy(b.bytes.data() + 4, &code, 4);
    const char* run = b.bytes.data();
    for (const Building::Slot& slot : b.slots) {
        if (!slot.spliced || slot.size == 0) continue;
        // The run of encoded bytes up to and including the array's count, then the array itself.
        const char* end = b.bytes.data() + slot.at + 4;
        pieces.push_back({run, std::size_t(end - run)});
        run = end;
        if (slot.size) pieces.push_back({slot.data, slot.size});
    }
    const char* end = b.bytes.data() + b.bytes.size();
    if (end != run) pieces.push_back({run, std::size_t(end - run)});
}

std::string XoRemoteRenderMessage::frameBytes() const
{
    std::string bytes;
    for (const Piece& piece : frame())
        bytes.append(static_cast<const char*>(piece.data), piece.size);
    return bytes;
}

bool XoRemoteRenderMessage::decode(std::shared_ptr<const char> storage, std::size_t size,
                                   XoRemoteRenderMessage& out, std::string& error)
{
    if (!storage && size) {
        return refuse(error, "frame without its buffer");
    }
    const char* base = storage.get();
    if (size < kHeaderSize) {
        return refuse(error, "frame of %zu bytes is shorter than its header", size);
    }
    const std::uint32_t payload = readU32(base);
    const std::uint32_t code = readU32(base + 4);
    if (payload > kMaxPayload) {
        return refuse(error, "frame length %" PRIu32 " exceeds the limit", payload);
    }
    if (std::size_t(payload) + kHeaderSize != size) {
        return refuse(error, "frame length %" PRIu32 " does not match the %zu bytes received", payload,
                      size - kHeaderSize);
    }
    const TypeLayout* layout = schemaOf(code);
    if (!layout) {
        return refuse(error, "unknown message type %" PRIu32, code);
    }
    XoRemoteRenderMessage message(layout->type);
    message.m_fields.reserve(layout->fields.size());
    const char* cursor = base + kHeaderSize;
    const char* end = base + size;
    for (const FieldLayout& fs : layout->fields) {
        XoMessageField f;
        f.kind = fs.kind;
        const std::size_t left = std::size_t(end - cursor);
        if (isVariableSize(fs.kind)) {
            if (left < 4) {
                return refuse(error, "%s: field %s is cut off", layout->name, fs.name);
            }
            const std::uint32_t bytes = readU32(cursor);
            cursor += 4;
            if (bytes > left - 4) {
                return refuse(error, "%s: field %s claims %" PRIu32 " bytes, %zu left", layout->name, fs.name,
                              bytes, left - 4);
            }
            if ((fs.kind == K::FloatArray || fs.kind == K::Int32Array) && bytes % 4 != 0) {
                return refuse(error, "%s: array %s of %" PRIu32 " bytes is not whole elements", layout->name,
                              fs.name, bytes);
            }
            f.data = cursor;
            f.size = bytes;
            cursor += bytes;
        } else {
            const std::uint32_t bytes = scalarSize(fs.kind);
            if (left < bytes) {
                return refuse(error, "%s: field %s is cut off", layout->name, fs.name);
            }
            f.size = bytes;
            std::memcpy(&f.scalar, cursor, bytes);
            cursor += bytes;
            if (fs.kind == K::Bool && f.scalar > 1) {
                return refuse(error, "%s: boolean %s holds %" PRIu64, layout->name, fs.name, f.scalar);
            }
        }
        message.m_fields.push_back(f);
    }
    if (cursor != end) {
        return refuse(error, "%s: %zu bytes after the last field", layout->name, std::size_t(end - cursor));
    }
    message.m_storage = std::move(storage);
    message.m_storageSize = size;
    out = std::move(message);
    return true;
}

bool XoRemoteRenderMessage::decode(const std::string& bytes, XoRemoteRenderMessage& out, std::string& error)
{
    std::shared_ptr<char> storage(new char[bytes.size() + 1], std::default_delete<char[]>());
    std::memcpy(storage.get(), bytes.data(), bytes.size());
    return decode(storage, bytes.size(), out, error);
}

std::string XoRemoteRenderMessage::describe() const
{
    const TypeLayout* layout = schemaOf(static_cast<std::uint32_t>(m_type));
    std::string line = layout ? layout->name : "unknown";
    const std::vector<XoMessageField>& values = fields();
    for (std::size_t i = 0; i < values.size(); ++i) {
        const XoMessageField& f = values[i];
        line += ' ';
        line += (layout && i < layout->fields.size()) ? layout->fields[i].name : "field";
        line += '=';
        switch (f.kind) {
        case K::String:
            appendQuoted(line, f.text());
            break;
        case K::Int32:
            line += std::to_string(f.toInt());
            break;
        case K::UInt32:
            line += std::to_string(f.toUInt());
            break;
        case K::UInt64:
            line += std::to_string(f.toUInt64());
            break;
        case K::Float:
            appendFloat(line, f.toFloat());
            break;
        case K::Bool:
            line += f.toBool() ? "true" : "false";
            break;
        case K::FloatArray:
        case K::Int32Array:
            line += '[';
            for (std::size_t e = 0; e < f.elementCount(); ++e) {
                if (e) line += ',';
                if (f.kind == K::FloatArray)
                    appendFloat(line, f.floatAt(e));
                else
                    line += std::to_string(f.intAt(e));
            }
            line += ']';
            break;
        case K::Bytes:
            line += std::to_string(f.size);
            break;
        }
    }
    return line;
}

bool XoRemoteRenderMessage::isSceneContent(XoMessageType type)
{
    switch (type) {
    case XoMessageType::ClearSession:
    case XoMessageType::AddMesh:
    case XoMessageType::AddMaterial:
    case XoMessageType::AddGroup:
    case XoMessageType::AddInstance:
    case XoMessageType::AddComponentDef:
    case XoMessageType::AddLight:
    case XoMessageType::SpawnInstances:
    case XoMessageType::RemoveEntity:
    case XoMessageType::RemoveEntityMeshes:
    case XoMessageType::AssureEntityConnected:
    case XoMessageType::SetAssetTransform:
    case XoMessageType::PlaceAsset:
    case XoMessageType::SetAssetVisible:
    case XoMessageType::AddFile:
    case XoMessageType::SetFileTransform:
    case XoMessageType::SetFileVisible:
        return true;
    default:
        return false;
    }
}
