// The viewer's scene fed with decoded messages: the input is a run of frames as the channel
// carries them; every one that decodes and is scene content is applied, then the scene is dumped.
#include "XoRemoteRenderMessage.h"
#include "zalViewerScene.h"

#include <QJsonObject>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    zalViewerScene scene;
    std::vector<zalViewerScene::Key> lost;
    QStringList errors;
    std::size_t pos = 0;
    while (size - pos >= XoRemoteRenderMessage::kHeaderSize) {
        std::uint32_t payload = 0;
        std::memcpy(&payload, data + pos, 4);
        const std::size_t frame = std::size_t(payload) + XoRemoteRenderMessage::kHeaderSize;
        if (frame > size - pos) break;
        auto message = std::make_shared<XoRemoteRenderMessage>();
        std::string error;
        if (XoRemoteRenderMessage::decode(std::string(reinterpret_cast<const char*>(data + pos), frame),
                                          *message, error) &&
            zalViewerScene::isContent(*message))
            scene.apply(message, lost, errors);
        pos += frame;
    }
    (void)scene.toJson();
    return 0;
}
