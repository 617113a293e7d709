// The wire messages: round trips, text lines, and every way a frame can be wrong.
#include "XoRemoteRenderMessage.h"
#include "XoSocketFrameIO.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace {

// Values for every field of a type; arrays live in `arrays` as long as the message.
struct Sample
{
    std::vector<std::vector<float>> floatArrays;
    std::vector<std::vector<std::int32_t>> intArrays;
    std::string bytes = std::string("\0\x01\xff", 3);
    XoRemoteRenderMessage message;

    explicit Sample(XoMessageType type) : message(type)
    {
        int serial = 0;
        const auto schema = XoRemoteRenderMessage::schema(type);
        floatArrays.reserve(schema.size());
        intArrays.reserve(schema.size());
        for (const auto& field : schema) {
            ++serial;
            switch (field.second) {
            case XoFieldKind::String:
                message.addString(field.first + " \"v\"\\" + std::to_string(serial));
                break;
            case XoFieldKind::Int32:
                message.addInt(-serial * 1000);
                break;
            case XoFieldKind::UInt32:
                message.addUInt(0xABCD0000u + std::uint32_t(serial));
                break;
            case XoFieldKind::UInt64:
                message.addUInt64(0x1234567890ull * std::uint64_t(serial));
                break;
            case XoFieldKind::Float:
                message.addFloat(0.25f * float(serial));
                break;
            case XoFieldKind::Bool:
                message.addBool(serial % 2 == 0);
                break;
            case XoFieldKind::FloatArray:
                floatArrays.push_back({1.5f, -0.0f, 3e-8f, float(serial)});
                message.addFloatArray(floatArrays.back().data(), floatArrays.back().size());
                break;
            case XoFieldKind::Int32Array:
                intArrays.push_back({3, -3, serial});
                message.addIntArray(intArrays.back().data(), intArrays.back().size());
                break;
            case XoFieldKind::Bytes:
                message.addBytes(bytes.data(), bytes.size());
                break;
            }
        }
    }
};

std::string decodeError(const std::string& bytes)
{
    XoRemoteRenderMessage out;
    std::string error;
    if (XoRemoteRenderMessage::decode(bytes, out, error)) return std::string();
    return error.empty() ? std::string("(failed without a message)") : error;
}

class EveryType : public ::testing::TestWithParam<XoMessageType>
{
};

TEST_P(EveryType, RoundTripKeepsEveryValue)
{
    Sample sample(GetParam());
    ASSERT_TRUE(sample.message.matchesSchema());
    const std::string bytes = sample.message.frameBytes();
    EXPECT_EQ(bytes.size(), XoRemoteRenderMessage::kHeaderSize + sample.message.payloadSize());
    XoRemoteRenderMessage decoded;
    std::string error;
    ASSERT_TRUE(XoRemoteRenderMessage::decode(bytes, decoded, error)) << error;
    EXPECT_EQ(decoded.type(), GetParam());
    EXPECT_TRUE(decoded.matchesSchema());
    EXPECT_EQ(decoded.describe(), sample.message.describe());
    ASSERT_EQ(decoded.fields().size(), sample.message.fields().size());
    for (std::size_t i = 0; i < decoded.fields().size(); ++i) {
        const XoMessageField& a = decoded.field(i);
        const XoMessageField& b = sample.message.field(i);
        EXPECT_EQ(a.kind, b.kind);
        EXPECT_EQ(a.size, b.size);
        EXPECT_EQ(a.scalar, b.scalar);
        if (a.data || b.data) {
            EXPECT_EQ(std::memcmp(a.data, b.data, a.size), 0) << "field " << i;
        }
    }
    // Re-encoding the decoded message gives the same bytes.
    EXPECT_EQ(decoded.frameBytes(), bytes);
}

TEST_P(EveryType, EveryTruncationIsRefused)
{
    Sample sample(GetParam());
    const std::string bytes = sample.message.frameBytes();
    for (std::size_t cut = 0; cut < bytes.size(); ++cut)
        EXPECT_FALSE(decodeError(bytes.substr(0, cut)).empty()) << "cut at " << cut;
}

TEST_P(EveryType, TrailingBytesAreRefused)
{
    Sample sample(GetParam());
    std::string bytes = sample.message.frameBytes();
    bytes += "xyz!";
    EXPECT_FALSE(decodeError(bytes).empty());
    // Also when the header owns up to them.
    std::uint32_t length = 0;
    std::memcpy(&length, bytes.data(), 4);
    length += 4;
    std::memcpy(&bytes[0], &length, 4);
    EXPECT_NE(decodeError(bytes).find("after the last field"), std::string::npos) << decodeError(bytes);
}

INSTANTIATE_TEST_SUITE_P(XoRemoteRenderMessage, EveryType,
                         ::testing::ValuesIn(XoRemoteRenderMessage::allTypes()),
                         [](const ::testing::TestParamInfo<XoMessageType>& info) {
                             return std::string(XoRemoteRenderMessage::typeName(info.param));
                         });

TEST(XoRemoteRenderMessage, SceneContentIsWhatATransactionHoldsBack)
{
    int content = 0;
    for (XoMessageType type : XoRemoteRenderMessage::allTypes())
        content += XoRemoteRenderMessage::isSceneContent(type) ? 1 : 0;
    EXPECT_EQ(content, 17);
    for (XoMessageType type : {XoMessageType::AddMesh, XoMessageType::RemoveEntity,
                               XoMessageType::ClearSession, XoMessageType::SetFileVisible})
        EXPECT_TRUE(XoRemoteRenderMessage::isSceneContent(type)) << XoRemoteRenderMessage::typeName(type);
    // The bracket itself, commands and view calls act at once.
    for (XoMessageType type :
         {XoMessageType::BeginTransaction, XoMessageType::EndTransaction, XoMessageType::SendConsoleCommand,
          XoMessageType::SetCamera, XoMessageType::TransactionApplied})
        EXPECT_FALSE(XoRemoteRenderMessage::isSceneContent(type)) << XoRemoteRenderMessage::typeName(type);
}

TEST(XoRemoteRenderMessage, DescribesOneReadableLine)
{
    const float t[16] = {1, 0, 0, -250, 0, 1, 0, 120, 0, 0, 1, 5.5f, 0, 0, 0, 1};
    XoRemoteRenderMessage instance(XoMessageType::AddInstance);
    instance.addString("E1")
        .addString("Model")
        .addString("")
        .addString("Tree A")
        .addFloatArray(t, 16)
        .addString("M");
    EXPECT_EQ(instance.describe(), "addInstance name=\"E1\" parent=\"Model\" component=\"\" asset=\"Tree A\" "
                                   "transform=[1,0,0,-250,0,1,0,120,0,0,1,5.5,0,0,0,1] material=\"M\"");

    XoRemoteRenderMessage command(XoMessageType::SendConsoleCommand);
    command.addString("HighResShot 640x360 filename=\"C:\\a b\\s.png\"\n");
    EXPECT_EQ(command.describe(),
              "sendConsoleCommand command=\"HighResShot 640x360 filename=\\\"C:\\\\a b\\\\s.png\\\"\\n\"");

    XoRemoteRenderMessage paused(XoMessageType::SetRenderPaused);
    paused.addBool(true);
    EXPECT_EQ(paused.describe(), "setRenderPaused paused=true");

    XoRemoteRenderMessage light(XoMessageType::SetToneMapper);
    light.addFloat(1.0f).addFloat(0.5f).addFloat(1e-7f).addBool(false).addFloat(-0.0f);
    EXPECT_EQ(light.describe(),
              "setToneMapper exposure=1 contrast=0.5 saturation=1e-07 autoExposure=false gamma=-0");

    const char data[5] = {1, 2, 3, 4, 5};
    XoRemoteRenderMessage user(XoMessageType::SendMessage);
    user.addString("zal.Ping").addBytes(data, 5);
    EXPECT_EQ(user.describe(), "sendMessage name=\"zal.Ping\" data=5");
}

TEST(XoRemoteRenderMessage, ArraysTravelFromTheCallersMemory)
{
    std::vector<float> positions(3000, 1.0f);
    std::vector<std::int32_t> faces(1000, 3);
    XoRemoteRenderMessage mesh(XoMessageType::AddMesh);
    mesh.addString("m").addString("e").addString("");
    mesh.addFloatArray(positions.data(), positions.size()).addFloatArray(nullptr, 0);
    mesh.addFloatArray(nullptr, 0).addFloatArray(nullptr, 0).addIntArray(nullptr, 0);
    mesh.addIntArray(faces.data(), faces.size()).addInt(1000).addInt(1000).addString("M").addString("M");
    ASSERT_TRUE(mesh.matchesSchema());
    bool positionsByReference = false, facesByReference = false;
    for (const auto& piece : mesh.frame()) {
        positionsByReference |= piece.data == positions.data() && piece.size == positions.size() * 4;
        facesByReference |= piece.data == faces.data() && piece.size == faces.size() * 4;
    }
    EXPECT_TRUE(positionsByReference);
    EXPECT_TRUE(facesByReference);
}

TEST(XoRemoteRenderMessage, WrongLengthsAreRefused)
{
    const std::string good =
        XoRemoteRenderMessage(XoMessageType::SendConsoleCommand).addString("pause").frameBytes();
    ASSERT_TRUE(decodeError(good).empty());

    struct Case
    {
        const char* name;
        std::size_t offset;
        std::uint32_t value;
        const char* expected;
    };
    const Case cases[] = {
        {"frame length one short", 0, std::uint32_t(good.size() - 9), "does not match"},
        {"frame length one long", 0, std::uint32_t(good.size() - 7), "does not match"},
        {"frame length beyond the limit", 0, XoRemoteRenderMessage::kMaxPayload + 1, "exceeds the limit"},
        {"unknown type", 4, 77, "unknown message type"},
        {"string longer than the frame", 8, 6, "claims"},
        {"string length huge", 8, 0xFFFFFFFFu, "claims"},
    };
    for (const Case& c : cases) {
        std::string bytes = good;
        std::memcpy(&bytes[c.offset], &c.value, 4);
        const std::string error = decodeError(bytes);
        EXPECT_NE(error.find(c.expected), std::string::npos) << c.name << ": " << error;
    }

    std::string flag = XoRemoteRenderMessage(XoMessageType::SetRenderPaused).addBool(true).frameBytes();
    flag[8] = 2;
    EXPECT_NE(decodeError(flag).find("boolean"), std::string::npos);

    const float f[2] = {1, 2};
    std::string array = XoRemoteRenderMessage(XoMessageType::SetAssetTransform)
                            .addString("")
                            .addFloatArray(f, 2)
                            .frameBytes();
    // 8 bytes of floats claimed as 7: not whole elements (and one byte left over).
    array[12] = 7;
    EXPECT_NE(decodeError(array).find("whole elements"), std::string::npos) << decodeError(array);
}

TEST(XoRemoteRenderMessage, RandomBytesAreRefusedWithoutHarm)
{
    std::mt19937 random(20261206);
    const std::vector<XoMessageType> types = XoRemoteRenderMessage::allTypes();
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(random() % 96, '\0');
        for (char& c : bytes)
            c = char(random());
        if (bytes.size() >= 8 && round % 2 == 0) {
            // Half of them with a believable header, so the field decoder is reached.
            const std::uint32_t length = std::uint32_t(bytes.size() - 8);
            const std::uint32_t type = std::uint32_t(types[random() % types.size()]);
            std::memcpy(&bytes[0], &length, 4);
            std::memcpy(&bytes[4], &type, 4);
        }
        XoRemoteRenderMessage out;
        std::string error;
        if (XoRemoteRenderMessage::decode(bytes, out, error)) {
            ++accepted;
            EXPECT_TRUE(out.matchesSchema());
            EXPECT_FALSE(out.describe().empty());
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
    // Some random payloads are valid messages (all-scalar types); most are not.
    EXPECT_LT(accepted, 20000);
}

// The socket reader both ends use.
class SocketPair : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0); }
    void TearDown() override
    {
        for (int fd : fds)
            if (fd >= 0) ::close(fd);
    }
    XoSocketFrameIO::ReadStatus readAfter(const std::string& bytes, XoRemoteRenderMessage& out,
                                          std::string& error)
    {
        EXPECT_EQ(::send(fds[0], bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
        ::shutdown(fds[0], SHUT_WR);
        return XoSocketFrameIO::readFrame(fds[1], out, error);
    }
    int fds[2] = {-1, -1};
};

TEST_F(SocketPair, AFourMebibyteMeshArrivesWhole)
{
    XoSocketFrameIO::tuneSocket(fds[0]);
    XoSocketFrameIO::tuneSocket(fds[1]);
    std::vector<float> positions(3 * 349525);
    for (std::size_t i = 0; i < positions.size(); ++i)
        positions[i] = float(i) * 0.5f;
    std::vector<std::int32_t> faces(349525 / 3, 3);
    XoRemoteRenderMessage mesh(XoMessageType::AddMesh);
    mesh.addString("big").addString("owner").addString("");
    mesh.addFloatArray(positions.data(), positions.size())
        .addFloatArray(nullptr, 0)
        .addFloatArray(nullptr, 0);
    mesh.addFloatArray(nullptr, 0).addIntArray(nullptr, 0).addIntArray(faces.data(), faces.size());
    mesh.addInt(int(faces.size())).addInt(349525).addString("M").addString("M");
    std::string error;
    std::thread writer([&] { EXPECT_TRUE(XoSocketFrameIO::writeFrame(fds[0], mesh, error)); });
    XoRemoteRenderMessage in;
    std::string readError;
    EXPECT_EQ(XoSocketFrameIO::readFrame(fds[1], in, readError), XoSocketFrameIO::ReadStatus::Message)
        << readError;
    writer.join();
    ASSERT_EQ(in.field("positions").size, positions.size() * 4);
    EXPECT_EQ(std::memcmp(in.field("positions").data, positions.data(), positions.size() * 4), 0);
    EXPECT_EQ(in.field("faceSizes").elementCount(), faces.size());
    EXPECT_EQ(in.field("name").text(), "big");
}

TEST_F(SocketPair, AStreamEndingInsideAFrameIsAnError)
{
    const std::string bytes =
        XoRemoteRenderMessage(XoMessageType::EntityLost).addString("a").addString("b").frameBytes();
    for (std::size_t cut = 1; cut < bytes.size(); ++cut) {
        TearDown();
        SetUp();
        XoRemoteRenderMessage out;
        std::string error;
        EXPECT_EQ(readAfter(bytes.substr(0, cut), out, error), XoSocketFrameIO::ReadStatus::Error)
            << "cut " << cut;
        EXPECT_FALSE(error.empty());
    }
}

TEST_F(SocketPair, AStreamEndingBetweenFramesIsClosed)
{
    XoRemoteRenderMessage out;
    std::string error;
    EXPECT_EQ(readAfter(std::string(), out, error), XoSocketFrameIO::ReadStatus::Closed);
}

TEST_F(SocketPair, AForgedLengthFailsAtTheEndOfTheStreamNotBefore)
{
    // Announces 900 MB and sends 100 bytes: the reader holds only what arrived.
    std::string bytes(108, 'x');
    const std::uint32_t length = 900000000u, type = std::uint32_t(XoMessageType::AddMesh);
    std::memcpy(&bytes[0], &length, 4);
    std::memcpy(&bytes[4], &type, 4);
    XoRemoteRenderMessage out;
    std::string error;
    EXPECT_EQ(readAfter(bytes, out, error), XoSocketFrameIO::ReadStatus::Error);
    EXPECT_NE(error.find("108 of 900000008"), std::string::npos) << error;
}

// Messages are built on state a thread reuses: what a larger message left there must never show in the
// next one, and a message built on reused state must equal one built on fresh state (a new thread's).
TEST_P(EveryType, BuiltAfterALargerMessageItsFrameHoldsOnlyItsOwnBytes)
{
    std::string fresh;
    std::thread([&] { fresh = Sample(GetParam()).message.frameBytes(); }).join();
    const std::vector<float> floats(3000, 2.5f);
    {
        XoRemoteRenderMessage large(XoMessageType::AddMesh);
        large.addString(std::string(20000, '\xA5')).addString("e").addString("c");
        for (int i = 0; i < 4; ++i)
            large.addFloatArray(floats.data(), floats.size());
        large.addIntArray(nullptr, 0)
            .addIntArray(nullptr, 0)
            .addInt(0)
            .addInt(0)
            .addString("m")
            .addString("m");
        ASSERT_GT(large.frameBytes().size(), 68000u);
    }
    Sample sample(GetParam());
    const std::string bytes = sample.message.frameBytes();
    EXPECT_EQ(bytes, fresh);
    EXPECT_EQ(bytes.size(), XoRemoteRenderMessage::kHeaderSize + sample.message.payloadSize());
    EXPECT_EQ(bytes.find("\xA5\xA5\xA5\xA5"), std::string::npos) << "bytes of the earlier message";
    XoRemoteRenderMessage decoded;
    std::string error;
    ASSERT_TRUE(XoRemoteRenderMessage::decode(bytes, decoded, error)) << error;
    EXPECT_EQ(decoded.fields().size(), XoRemoteRenderMessage::schema(GetParam()).size());
}

TEST(XoRemoteRenderMessage, FieldsReadWhileBuildingFollowTheValuesAddedLater)
{
    XoRemoteRenderMessage m(XoMessageType::AddComponentDef);
    m.addString("name");
    ASSERT_EQ(m.fields().size(), 1u);
    EXPECT_EQ(m.field(0).text(), "name");
    m.addString("a label longer than a short string").addBool(true).addString("src");
    ASSERT_EQ(m.fields().size(), 4u);
    EXPECT_EQ(m.field(1).text(), "a label longer than a short string");
    EXPECT_TRUE(m.field(2).toBool());
    EXPECT_EQ(m.field("source").text(), "src");
    EXPECT_TRUE(m.matchesSchema());
    EXPECT_EQ(m.describe(), "addComponentDef name=\"name\" label=\"a label longer than a short string\" "
                            "external=true source=\"src\"");
}

TEST(XoRemoteRenderMessage, ADecodedMessageGivenMoreValuesKeepsWhatItHeld)
{
    float transform[16];
    for (int i = 0; i < 16; ++i)
        transform[i] = float(i) * 0.5f - 3.0f;
    XoRemoteRenderMessage decoded;
    std::string error;
    {
        // The frame's own buffer goes when decode returns; the message keeps its copy alive.
        const std::string frame = XoRemoteRenderMessage(XoMessageType::SetAssetTransform)
                                      .addString("asset name")
                                      .addFloatArray(transform, 16)
                                      .frameBytes();
        ASSERT_TRUE(XoRemoteRenderMessage::decode(frame, decoded, error)) << error;
    }
    decoded.addBool(true).addString("more");
    const std::string expected = XoRemoteRenderMessage(XoMessageType::SetAssetTransform)
                                     .addString("asset name")
                                     .addFloatArray(transform, 16)
                                     .addBool(true)
                                     .addString("more")
                                     .frameBytes();
    EXPECT_EQ(decoded.frameBytes(), expected);
    ASSERT_EQ(decoded.fields().size(), 4u);
    EXPECT_EQ(decoded.field(1).floatAt(15), transform[15]);
    EXPECT_FALSE(decoded.matchesSchema());
}

} // namespace
