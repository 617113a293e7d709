// zalmodelreader IN OUT: reads a model file with assimp and writes what it read as an assbin file.
// The host runs it as a child process, so a parser crash, a runaway allocation or an endless loop on
// a hostile file ends this process and not the host with the user's drawings.
// Exit codes: 0 written; 1 usage; 2 not a readable model (reason on stderr); 3 could not write OUT.
#include "zalSanitizedBuild.h"

#include <assimp/DefaultIOSystem.h>
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <string>

// assimp's own writer of its binary dump (exported by the library, declared in a header it does not
// install). The exporter's front door copies the whole scene before it writes; this writes the scene
// as it was read, which is what the host reads back.
namespace Assimp {
void DumpSceneToAssbin(const char* file, const char* command, IOSystem* io, const aiScene* scene,
                       bool shortened, bool compressed);
}

namespace {

// A hostile header can make a reader ask for gigabytes (a 2 KB glb once took 1.9 GB and 19 s before
// failing); the address space is limited to what the file's size can explain, so such a request
// fails at once. Sanitizers reserve terabytes of address space, so they keep the default.
void limitMemory(const char* path)
{
    unsigned long long bytes = 0;
    struct stat info
    {
    };
    if (stat(path, &info) == 0) bytes = (unsigned long long)info.st_size;
    // Parsed and post-processed models take up to a few tens of times their file size.
    unsigned long long mib = std::max(768ULL, bytes * 40 / (1024 * 1024));
    if (const char* text = std::getenv("ZAL_MODEL_READER_MEMORY_MB")) {
        const unsigned long long value = std::strtoull(text, nullptr, 10);
        if (value > 0) mib = value;
    }
    if (zalSanitizedBuild()) return;
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = rlim_t(mib) * 1024 * 1024;
    setrlimit(RLIMIT_AS, &limit);
}

// The importer uses no metadata, and assimp's scene copy (done by every export) aborts on some
// metadata glTF files carry.
void dropMetadata(aiNode* node)
{
    delete node->mMetaData;
    node->mMetaData = nullptr;
    for (unsigned i = 0; i < node->mNumChildren; ++i)
        dropMetadata(node->mChildren[i]);
}

std::string oneLine(std::string s)
{
    for (char& c : s)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s MODEL-FILE OUTPUT.assbin\n", argv[0]);
        return 1;
    }
    limitMemory(argv[1]);
    try {
        Assimp::Importer importer;
        // Points and lines carry nothing a shell can show.
        importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
        const aiScene* scene =
            importer.ReadFile(argv[1], aiProcess_ValidateDataStructure | aiProcess_JoinIdenticalVertices |
                                           aiProcess_SortByPType | aiProcess_GenNormals);
        if (!scene || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) || !scene->mRootNode) {
            std::fprintf(stderr, "%s\n", oneLine(importer.GetErrorString()).c_str());
            return 2;
        }
        aiScene* owned = importer.GetOrphanedScene();
        dropMetadata(owned->mRootNode);
        delete owned->mMetaData;
        owned->mMetaData = nullptr;
        std::string failure;
        try {
            Assimp::DefaultIOSystem io;
            Assimp::DumpSceneToAssbin(argv[2], "", &io, owned, false, false);
        } catch (const std::exception& e) {
            failure = e.what();
            if (failure.empty()) failure = "the dump could not be written";
        }
        // The process ends now: freeing a large scene piece by piece only delays the host. Sanitized builds
        // free it, so their leak checks stay meaningful.
        if (zalSanitizedBuild()) delete owned;
        if (!failure.empty()) {
            std::fprintf(stderr, "cannot write %s: %s\n", argv[2], oneLine(failure).c_str());
            return 3;
        }
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "out of memory while reading the file\n");
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", oneLine(e.what()).c_str());
        return 2;
    }
    return 0;
}
