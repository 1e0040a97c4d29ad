// Music images from files from outside: sizes and stream checked, built by the player's own loader, then module_check (portable; tools only).
#include "tools/song/music_loader.h"

#include "base/memory.h"
#include "media/whole_file.h"
#include "music/codec.h"
#include "music/module.h"

#include <cstring>

namespace {

// `module_name` and `stream_name` start the messages about each ("" for none).
bool load_music(const std::vector<uint8_t>& module, const std::vector<uint8_t>* stream, const std::string& module_name,
                const std::string& stream_name, std::vector<uint8_t>* image, uint32_t* module_size, uint32_t* pcm_size,
                std::string* error)
{
    if (module.size() + music_read_margin > music_image_size) {
        *error = module_name + "the module is " + std::to_string(module.size()) +
                 " bytes, more than the 1 MB music image holds";
        return false;
    }
    if (stream) {
        const char* problem = nullptr;
        int64_t decoded = codec_check_stream(stream->data(), stream->size(), &problem);
        if (decoded < 0) {
            *error = stream_name + "the sample stream: " + problem;
            return false;
        }
        if (uint64_t(decoded) + module.size() + music_read_margin > music_image_size) {
            *error = stream_name + "the module and its decoded samples take more than the 1 MB music image holds";
            return false;
        }
    }
    *module_size = uint32_t(module.size());
    uint8_t* built = build_music_image(module.data(), *module_size, stream ? stream->data() : nullptr, pcm_size);
    image->assign(built, built + music_image_size);
    mem_free(built);
    char why[200];
    if (!module_check(image->data(), *module_size, *pcm_size, why, sizeof why)) {
        *error = module_name + why;
        if (!stream && std::strstr(why, "lies outside"))
            *error += " (give its coded samples with --samples)";
        return false;
    }
    return true;
}

}  // namespace

bool load_music_bytes(const std::vector<uint8_t>& module, const std::vector<uint8_t>* stream,
                      std::vector<uint8_t>* image, uint32_t* module_size, uint32_t* pcm_size, std::string* error)
{
    return load_music(module, stream, "", "", image, module_size, pcm_size, error);
}

bool load_music_files(const std::string& module_path, const std::string& stream_path, std::vector<uint8_t>* image,
                      uint32_t* module_size, uint32_t* pcm_size, std::string* error)
{
    std::vector<uint8_t> module, stream;
    if (!read_input_file(module_path, &module, error))
        return false;
    if (!stream_path.empty() && !read_input_file(stream_path, &stream, error))
        return false;
    return load_music(module, stream_path.empty() ? nullptr : &stream, module_path + ": ", stream_path + ": ", image,
                      module_size, pcm_size, error);
}
