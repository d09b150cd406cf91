#include "convert_image.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace tool {

namespace {

constexpr TntSignature kLinkClass = TNT_SIG('l', 'i', 'n', 'k');

// The link's progress callback carries no user data, so the bar's state is
// process-wide. Each thread counts what its own run has reported.
std::atomic<int64_t> gDone{0};
std::atomic<int> gDrawn{-1};
int64_t gTotal = 1;
bool gDraw = false;
thread_local int64_t tLastIndex = 0;

void DrawBar(int percent) {
    char bar[41];
    int filled = percent * 40 / 100;
    for (int i = 0; i < 40; ++i) bar[i] = i < filled ? '#' : '.';
    bar[40] = 0;
    std::fprintf(stderr, "\r[%s] %3d%%", bar, percent);
    std::fflush(stderr);
}

void Advance(int64_t pixels) {
    int64_t done = gDone.fetch_add(pixels) + pixels;
    if (!gDraw) return;
    int percent = int(std::min<int64_t>(100, done * 100 / gTotal));
    int drawn = gDrawn.load();
    while (percent > drawn) {
        if (gDrawn.compare_exchange_weak(drawn, percent)) {
            DrawBar(percent);
            break;
        }
    }
}

uint32_t TNT_CALL OnProgress(int32_t index, int32_t) {
    Advance(index - tLastIndex);
    tLastIndex = index;
    return 0;
}

void StartRun() { tLastIndex = 0; }
void EndRun(int64_t count) {
    Advance(count - tLastIndex);
    tLastIndex = 0;
}

bool ProfileClass(ProfileSource& source, TntSignature* deviceClass) {
    Profile* p = OpenSource(source);
    if (!p) return false;
    ProfileHeader h;
    TntGetProfileHeader(p, &h);
    *deviceClass = h.deviceClass;
    TntCloseProfile(p);
    return true;
}

// 8-bit samples widened to 16 bits: Lab colour channels by 256 (ICC keeps
// L 100 at 0xFF00 and a, b 0 at 0x8000), everything else by 257.
Image Widen(const Image& in) {
    Image out = in;
    out.bits = 16;
    out.pixels.resize(in.pixels.size() * 2);
    const size_t samples = size_t(in.Samples()), pixels = in.PixelCount();
    for (size_t k = 0; k < in.pixels.size(); ++k) {
        size_t channel = in.planar ? k / pixels : k % samples;
        bool lab = in.model == ColourModel::Lab && channel < 3;
        uint16_t v = uint16_t(in.pixels[k] * (lab ? 256 : 257));
        std::memcpy(&out.pixels[k * 2], &v, 2);
    }
    return out;
}

// Images store gray as light (0 black); the library counts gray as ink
// (0 white), so the gray channel is turned over on the way in and out.
void InvertGray(Image* image) {
    const size_t pixels = image->PixelCount(), step = image->planar ? 1 : size_t(image->Samples());
    for (size_t i = 0; i < pixels; ++i) {
        if (image->bits == 8) {
            image->pixels[i * step] = uint8_t(255 - image->pixels[i * step]);
        } else {
            uint16_t v;
            std::memcpy(&v, &image->pixels[i * step * 2], 2);
            v = uint16_t(65535 - v);
            std::memcpy(&image->pixels[i * step * 2], &v, 2);
        }
    }
}

struct Band {
    size_t first = 0, count = 0;
};

std::vector<Band> Bands(size_t pixels, size_t width, int threads) {
    // Bands of whole rows, several per thread so that the work evens out.
    size_t rows = width ? pixels / width : 0;
    size_t pieces = std::max<size_t>(1, std::min<size_t>(rows, size_t(threads) * 4));
    std::vector<Band> bands;
    for (size_t i = 0; i < pieces; ++i) {
        size_t r0 = rows * i / pieces, r1 = rows * (i + 1) / pieces;
        if (r1 > r0) bands.push_back({r0 * width, (r1 - r0) * width});
    }
    return bands;
}

void RunBands(const std::vector<Band>& bands, int threads, const auto& convert) {
    std::atomic<size_t> next{0};
    auto worker = [&] {
        for (size_t i; (i = next.fetch_add(1)) < bands.size();) {
            StartRun();
            convert(bands[i]);
            EndRun(int64_t(bands[i].count));
        }
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads && size_t(t) < bands.size(); ++t) pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool) t.join();
}

}  // namespace

int DefaultThreads() {
    unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : int(std::min(n, 64u));
}

bool CompleteChain(const Image& image, const std::string& imageName, std::vector<ProfileSource>* chain) {
    if (chain->size() != 1) return true;
    TntSignature deviceClass = 0;
    if (!ProfileClass((*chain)[0], &deviceClass)) return false;
    if (deviceClass == kLinkClass) return true;
    ProfileSource source;
    if (!image.icc.empty()) {
        source.name = imageName + " (embedded profile)";
        source.bytes = image.icc;
    } else {
        const char* builtin = image.model == ColourModel::Rgb    ? "builtin:srgb"
                              : image.model == ColourModel::Gray ? "builtin:gray"
                              : image.model == ColourModel::Lab  ? "builtin:lab"
                                                                 : nullptr;
        if (!builtin) {
            Fail(imageName, std::string("the ") + ModelWords(image.model) +
                                " image carries no profile; name its source profile first in --profiles");
            return false;
        }
        if (!ResolveProfile(builtin, &source)) return false;
    }
    chain->insert(chain->begin(), source);
    return true;
}

bool ConvertImage(const Image& in, ConvertRequest& request, const std::string& subject, Image* out) {
    std::vector<ProfileLocation> locations(request.chain.size());
    for (size_t i = 0; i < request.chain.size(); ++i) LocationOf(request.chain[i], &locations[i]);
    const bool sixteen = request.sixteen || in.bits == 16;
    uint32_t options = SetOptions(0, TNT_OPTION_PRECISION, sixteen ? 1 : 0);
    options = SetOptions(options, TNT_OPTION_GRID_QUALITY, uint32_t(request.gridQuality));
    // A Lab image may start the chain at a device profile: the chain then
    // begins in the connection space.
    TntSignature sourceSpace = in.model == ColourModel::Lab ? ModelSpace(ColourModel::Lab) : 0;
    ProfLink* link = nullptr;
    const auto started = std::chrono::steady_clock::now();
    TntStatus st = TntProfiles2Link(sourceSpace, 0, int16_t(locations.size()), locations.data(),
                                    request.intents.empty() ? nullptr : request.intents.data(), options, &link);
    if (st) {
        std::string names;
        for (const ProfileSource& s : request.chain) names += (names.empty() ? "" : " -> ") + s.name;
        FailStatus(subject, "cannot build the link " + names, st);
        return false;
    }
    const TntSignature from = TntLinkSourceType(link), to = TntLinkDestType(link);
    ColourModel outModel;
    if (from != ModelSpace(in.model)) {
        Fail(subject, std::string("the image is ") + ModelWords(in.model) + " but the profile chain starts in " +
                          SigText(from) + " (" + request.chain.front().name + ")");
        TntDisposeProfLink(link);
        return false;
    }
    if (!ModelForSpace(to, &outModel)) {
        Fail(subject, "the profile chain ends in " + SigText(to) + ", which no image here holds");
        TntDisposeProfLink(link);
        return false;
    }

    Image source = sixteen && in.bits == 8 ? Widen(in) : in;
    if (source.model == ColourModel::Gray) InvertGray(&source);
    *out = Image();
    out->width = source.width;
    out->height = source.height;
    out->model = outModel;
    out->colour = ModelChannels(outModel);
    out->extra = source.extra;
    out->extraKinds = source.extraKinds;
    out->bits = source.bits;
    out->planar = source.planar;
    out->pixels.assign(out->PixelCount() * size_t(out->Samples()) * out->SampleBytes(), 0);

    const size_t pixels = source.PixelCount(), s = source.SampleBytes();
    const size_t inSamples = size_t(source.Samples()), outSamples = size_t(out->Samples());
    // The link leaves destination extras as they are, so they are copied
    // across first.
    for (size_t e = 0; e < size_t(source.extra); ++e) {
        if (source.planar) {
            std::memcpy(out->pixels.data() + (size_t(out->colour) + e) * pixels * s,
                        source.pixels.data() + (size_t(source.colour) + e) * pixels * s, pixels * s);
        } else {
            for (size_t i = 0; i < pixels; ++i)
                std::memcpy(&out->pixels[(i * outSamples + size_t(out->colour) + e) * s],
                            &source.pixels[(i * inSamples + size_t(source.colour) + e) * s], s);
        }
    }

    const auto converting = std::chrono::steady_clock::now();
    gDone = 0;
    gDrawn = -1;
    gTotal = int64_t(std::max<size_t>(pixels, 1));
    gDraw = request.progress;
    const std::vector<Band> bands = Bands(pixels, source.width, std::max(1, request.threads));
    std::atomic<TntStatus> failure{TNT_OK};
    if (source.planar && !sixteen) {
        RunBands(bands, request.threads, [&](const Band& b) {
            const uint8_t* inPlanes[16];
            uint8_t* outPlanes[16];
            for (int c = 0; c < source.colour; ++c) inPlanes[c] = source.pixels.data() + size_t(c) * pixels + b.first;
            for (int c = 0; c < out->colour; ++c) outPlanes[c] = out->pixels.data() + size_t(c) * pixels + b.first;
            TntStatus r = TntLinkMatchColorPlanes(link, int32_t(b.count), inPlanes, 1, outPlanes, 1, OnProgress);
            if (r) failure = r;
        });
    } else if (source.planar) {
        // Planes of 16-bit samples: gathered into interleaved pixels around
        // the conversion.
        Image work = source;
        Interleave(&work);
        Image result = *out;
        Interleave(&result);
        RunBands(bands, request.threads, [&](const Band& b) {
            TntStatus r = TntLinkMatchColors(link, int32_t(b.count), work.pixels.data() + b.first * inSamples * s,
                                             result.pixels.data() + b.first * outSamples * s, int16_t(work.extra),
                                             int16_t(result.extra), 0, OnProgress);
            if (r) failure = r;
        });
        MakePlanar(&result);
        out->pixels.swap(result.pixels);
    } else {
        RunBands(bands, request.threads, [&](const Band& b) {
            TntStatus r = TntLinkMatchColors(link, int32_t(b.count), source.pixels.data() + b.first * inSamples * s,
                                             out->pixels.data() + b.first * outSamples * s, int16_t(source.extra),
                                             int16_t(out->extra), 0, OnProgress);
            if (r) failure = r;
        });
    }
    if (gDraw) std::fprintf(stderr, "\n");
    if (request.timing) {
        const auto done = std::chrono::steady_clock::now();
        std::fprintf(stderr, "tintwell: link built in %.3f s, %zu pixels converted in %.3f s on %d thread(s)\n",
                     std::chrono::duration<double>(converting - started).count(), pixels,
                     std::chrono::duration<double>(done - converting).count(), request.threads);
    }
    if (out->model == ColourModel::Gray) InvertGray(out);
    TntDisposeProfLink(link);
    if (failure != TNT_OK) {
        FailStatus(subject, "conversion failed", failure);
        return false;
    }
    const ProfileSource& last = request.chain.back();
    TntSignature lastClass = 0;
    ProfileSource copy = last;
    if (ProfileClass(copy, &lastClass) && lastClass != kLinkClass && !SourceBytes(last, &out->icc)) return false;
    return true;
}

}  // namespace tool
