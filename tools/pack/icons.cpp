#include "pack/icons.hpp"

#include <png.h>
#include <pixman.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>

#include "common/error.hpp"
#include "common/utf.hpp"

namespace tarvek {

namespace fs = std::filesystem;

namespace {

constexpr std::array<unsigned, 7> sizes = {16, 24, 32, 48, 64, 128, 256};
constexpr unsigned largest_source = 4096;

// Straight (not premultiplied) RGBA, 8 bits per channel, rows top down.
struct rgba_image {
    fs::path source;
    unsigned size = 0;
    std::vector<uint8_t> pixels;
};

std::string shown(const fs::path &path) { return printable(path.string()); }

bool has_png_signature(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw tool_error(shown(path) + ": cannot read it: " + std::strerror(errno));
    unsigned char signature[8] = {};
    in.read(reinterpret_cast<char *>(signature), sizeof signature);
    return in.gcount() == sizeof signature && png_sig_cmp(signature, 0, sizeof signature) == 0;
}

rgba_image read_png(const fs::path &path)
{
    if (!has_png_signature(path))
        throw tool_error(shown(path) + ": not a PNG image; icons must be PNG files");
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        throw tool_error(shown(path) + ": not a readable PNG image: " + image.message);
    std::unique_ptr<png_image, void (*)(png_image *)> release(&image, png_image_free);
    if (image.width != image.height) {
        throw tool_error(shown(path) + ": " + std::to_string(image.width) + "x" + std::to_string(image.height) +
                         " pixels; icon images must be square");
    }
    if (image.width > largest_source)
        throw tool_error(shown(path) + ": " + std::to_string(image.width) + " pixels wide; icon images may have " +
                         std::to_string(largest_source) + " at most");
    image.format = PNG_FORMAT_RGBA;
    rgba_image result{path, image.width, std::vector<uint8_t>(PNG_IMAGE_SIZE(image))};
    if (!png_image_finish_read(&image, nullptr, result.pixels.data(), 0, nullptr))
        throw tool_error(shown(path) + ": not a readable PNG image: " + image.message);
    release.release();
    return result;
}

void write_png(const rgba_image &image, const fs::path &path)
{
    png_image out = {};
    out.version = PNG_IMAGE_VERSION;
    out.width = image.size;
    out.height = image.size;
    out.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&out, path.c_str(), 0, image.pixels.data(), 0, nullptr))
        throw tool_error(shown(path) + ": cannot write the icon image: " + out.message);
}

// pixman works on premultiplied 32-bit ARGB in native byte order.
std::vector<uint32_t> premultiplied(const rgba_image &image)
{
    std::vector<uint32_t> argb(image.pixels.size() / 4);
    for (size_t i = 0; i < argb.size(); ++i) {
        const uint8_t *p = &image.pixels[4 * i];
        const uint32_t a = p[3];
        auto scale = [a](uint32_t c) { return (c * a + 127) / 255; };
        argb[i] = a << 24 | scale(p[0]) << 16 | scale(p[1]) << 8 | scale(p[2]);
    }
    return argb;
}

rgba_image straight(const std::vector<uint32_t> &argb, unsigned size, const fs::path &source)
{
    rgba_image image{source, size, std::vector<uint8_t>(argb.size() * 4)};
    for (size_t i = 0; i < argb.size(); ++i) {
        const uint32_t a = argb[i] >> 24;
        uint8_t *p = &image.pixels[4 * i];
        for (int c = 0; c < 3; ++c) {
            const uint32_t value = argb[i] >> (16 - 8 * c) & 0xFF;
            p[c] = static_cast<uint8_t>(a == 0 ? 0 : std::min<uint32_t>(255, (value * 255 + a / 2) / a));
        }
        p[3] = static_cast<uint8_t>(a);
    }
    return image;
}

using pixman_ptr = std::unique_ptr<pixman_image_t, pixman_bool_t (*)(pixman_image_t *)>;

// Scales with a separable convolution filter: Lanczos-3 sampling when the
// image shrinks, cubic reconstruction when it grows.
rgba_image scaled(const rgba_image &from, unsigned size)
{
    std::vector<uint32_t> source = premultiplied(from);
    std::vector<uint32_t> target(size_t{size} * size);
    pixman_ptr src(pixman_image_create_bits(PIXMAN_a8r8g8b8, static_cast<int>(from.size),
                                            static_cast<int>(from.size), source.data(),
                                            static_cast<int>(from.size * 4)),
                   pixman_image_unref);
    pixman_ptr dst(pixman_image_create_bits(PIXMAN_a8r8g8b8, static_cast<int>(size), static_cast<int>(size),
                                            target.data(), static_cast<int>(size * 4)),
                   pixman_image_unref);
    if (!src || !dst)
        throw tool_error("cannot scale the icon images: out of memory");
    const double ratio = static_cast<double>(from.size) / size;
    pixman_transform_t transform;
    pixman_transform_init_scale(&transform, pixman_double_to_fixed(ratio), pixman_double_to_fixed(ratio));
    pixman_image_set_transform(src.get(), &transform);
    pixman_image_set_repeat(src.get(), PIXMAN_REPEAT_PAD);
    const bool shrinking = ratio > 1;
    int count = 0;
    std::unique_ptr<pixman_fixed_t, void (*)(void *)> parameters(
        pixman_filter_create_separable_convolution(
            &count, pixman_double_to_fixed(std::max(ratio, 1.0)), pixman_double_to_fixed(std::max(ratio, 1.0)),
            shrinking ? PIXMAN_KERNEL_BOX : PIXMAN_KERNEL_CUBIC, shrinking ? PIXMAN_KERNEL_BOX : PIXMAN_KERNEL_CUBIC,
            shrinking ? PIXMAN_KERNEL_LANCZOS3 : PIXMAN_KERNEL_IMPULSE,
            shrinking ? PIXMAN_KERNEL_LANCZOS3 : PIXMAN_KERNEL_IMPULSE, 4, 4),
        free);
    if (!parameters ||
        !pixman_image_set_filter(src.get(), PIXMAN_FILTER_SEPARABLE_CONVOLUTION, parameters.get(), count))
        throw tool_error("cannot scale the icon images: the filter was refused");
    pixman_image_composite32(PIXMAN_OP_SRC, src.get(), nullptr, dst.get(), 0, 0, 0, 0, 0, 0,
                             static_cast<int>(size), static_cast<int>(size));
    // Ringing of the filter can leave a colour above its alpha; straight()
    // clamps it.
    return straight(target, size, from.source);
}

std::vector<rgba_image> read_all(const std::vector<fs::path> &given)
{
    std::vector<rgba_image> images;
    std::map<unsigned, fs::path> by_size;
    for (const fs::path &path : given) {
        images.push_back(read_png(path));
        auto [known, added] = by_size.emplace(images.back().size, path);
        if (!added)
            throw tool_error(shown(path) + ": a second icon of " + std::to_string(images.back().size) +
                             " pixels (the first is " + shown(known->second) + ")");
    }
    std::sort(images.begin(), images.end(), [](const rgba_image &a, const rgba_image &b) { return a.size < b.size; });
    return images;
}

} // namespace

void check_icons(const std::vector<fs::path> &given) { read_all(given); }

std::vector<fs::path> prepare_icons(const std::vector<fs::path> &given, const fs::path &directory,
                                    std::vector<std::string> &warnings)
{
    std::vector<rgba_image> images = read_all(given);
    std::vector<fs::path> written;
    for (unsigned size : sizes) {
        // Exactly this size, else the smallest larger one, else the largest.
        auto source = std::find_if(images.begin(), images.end(), [size](const rgba_image &i) { return i.size >= size; });
        if (source == images.end()) {
            source = images.end() - 1;
            warnings.push_back(shown(source->source) + ": scaled up from " + std::to_string(source->size) + " to " +
                               std::to_string(size) + " pixels; give an image of " + std::to_string(size) +
                               " or more for a sharp icon");
        }
        const fs::path path = directory / ("icon-" + std::to_string(size) + ".png");
        write_png(source->size == size ? *source : scaled(*source, size), path);
        written.push_back(path);
    }
    return written;
}

} // namespace tarvek
