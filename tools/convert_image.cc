#include "convert_image.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

namespace tool {

namespace {

constexpr TntSignature kLinkClass = TNT_SIG('l', 'i', 'n', 'k');

struct ProfileFacts {
    TntSignature deviceClass = 0, space = 0;
};

bool ReadFacts(ProfileSource& source, ProfileFacts* facts, bool quiet) {
    ProfileLocation where;
    LocationOf(source, &where);
    Profile* p = nullptr;
    TntStatus st = TntOpenProfile(&p, &where);
    if (st) {
        if (!quiet) FailStatus(source.name, "cannot read the profile", st);
        return false;
    }
    ProfileHeader h;
    TntGetProfileHeader(p, &h);
    facts->deviceClass = h.deviceClass;
    facts->space = h.colorSpace;
    TntCloseProfile(p);
    return true;
}

const char* BuiltinFor(ColourModel model) {
    switch (model) {
        case ColourModel::Rgb: return "builtin:srgb";
        case ColourModel::Gray: return "builtin:gray";
        case ColourModel::Lab: return "builtin:lab";
        case ColourModel::Cmyk: break;
    }
    return nullptr;
}

// The chain for one page: the image's profile in front when the request
// lacks a source. Collects a warning when an embedded profile goes unused;
// it is shown only when the link builds, so that a failure stays one line.
bool CompleteChain(const ImageInfo& image, const std::string& name, const ConvertRequest& request,
                   std::vector<ProfileSource>* chain, std::vector<std::string>* warnings) {
    *chain = request.chain;
    bool usable = false;
    if (!image.icc.empty() && !request.ignoreEmbedded) {
        ProfileSource embedded{name + " (embedded profile)", "", image.icc};
        ProfileFacts facts;
        if (!ReadFacts(embedded, &facts, true)) {
            warnings->push_back("the embedded profile cannot be read; it is not used");
        } else if (facts.space != ModelSpace(image.model) || facts.deviceClass == kLinkClass) {
            warnings->push_back(std::string("the embedded profile is for ") + SigText(facts.space) +
                                " data, not for this " + ModelWords(image.model) + " image; it is not used");
        } else {
            usable = true;
        }
    }
    if (!request.needsSource) {
        Bytes first;
        if (usable && SourceBytes(chain->front(), &first) && first != image.icc)
            warnings->push_back("the embedded profile is not used: the chain starts at " + chain->front().name +
                                " (--ignore-embedded says so on purpose)");
        return true;
    }
    ProfileSource front;
    if (usable) {
        front = {name + " (embedded profile)", "", image.icc};
    } else if (const char* builtin = BuiltinFor(image.model)) {
        if (!ResolveProfile(builtin, &front)) return false;
    } else {
        Fail(name, std::string("the ") + ModelWords(image.model) +
                       " image carries no usable profile; name its source profile first in --profiles");
        return false;
    }
    chain->insert(chain->begin(), front);
    return true;
}

// One intent per profile for the library (the last one is never read).
bool ExpandIntents(const ConvertRequest& request, size_t profiles, const std::string& subject,
                   std::vector<uint16_t>* out) {
    out->clear();
    const std::vector<uint16_t>& given = request.intents;
    if (given.empty()) return true;
    if (given.size() == 1) {
        out->assign(profiles, given[0]);
    } else if (given.size() == profiles - 1 || given.size() == profiles) {
        *out = given;
        out->resize(profiles, given.back());
    } else {
        Fail(subject, "--intent lists " + std::to_string(given.size()) + " intents but the chain has " +
                          std::to_string(profiles - 1) + " step(s)");
        return false;
    }
    return true;
}

TntStatus BuildLink(const ConvertRequest& request, TntSignature sourceSpace, std::vector<ProfileLocation>& locations,
                    const std::vector<uint16_t>& intents, uint32_t options, ProfLink** link) {
    const int16_t count = int16_t(locations.size());
    const uint16_t* list = intents.empty() ? nullptr : intents.data();
    if (!request.controls.empty())
        return TntProfiles2LinkWithControls(sourceSpace, 0, count, locations.data(), list, options,
                                            request.controls.data(), link);
    if (request.preserveBlack < 0) return TntProfiles2Link(sourceSpace, 0, count, locations.data(), list, options, link);
    MatchTransform* t = TntNewTransformPtr();
    if (!t) return TNT_ERR_NO_MEMORY;
    TntStatus st = TntConcatProfiles(t, sourceSpace, 0, count, locations.data(), list);
    const double parameters[2] = {0, request.preserveBlack};
    if (!st) st = TntSetPreserveBlack(t, parameters);
    if (!st) st = TntMatchTrans2Link(t, options, link);
    TntDisposeMatchTransform(t);
    return st;
}

// ------------------------------------------------------------- band work

template <typename Sample>
void InvertFirstChannel(uint8_t* base, size_t pixels, size_t step) {
    auto* p = reinterpret_cast<Sample*>(base);
    for (size_t i = 0; i < pixels; ++i) p[i * step] = Sample(~p[i * step]);
}

void InvertGray(uint8_t* base, size_t pixels, size_t step, int bits) {
    if (bits == 8)
        InvertFirstChannel<uint8_t>(base, pixels, step);
    else
        InvertFirstChannel<uint16_t>(base, pixels, step);
}

// Planes `planeStride` bytes apart to interleaved samples, and back.
void Gather(const uint8_t* planes, size_t planeStride, size_t samples, size_t s, size_t pixels, uint8_t* out) {
    for (size_t c = 0; c < samples; ++c)
        for (size_t i = 0; i < pixels; ++i) std::memcpy(out + (i * samples + c) * s, planes + c * planeStride + i * s, s);
}

void Scatter(const uint8_t* in, size_t samples, size_t s, size_t pixels, uint8_t* planes, size_t planeStride) {
    for (size_t c = 0; c < samples; ++c)
        for (size_t i = 0; i < pixels; ++i) std::memcpy(planes + c * planeStride + i * s, in + (i * samples + c) * s, s);
}

// 8-bit samples widened to 16 bits: Lab colour channels by 256 (ICC keeps
// L 100 at 0xFF00 and a, b 0 at 0x8000), everything else by 257.
void Widen(const uint8_t* in, size_t count, size_t samples, bool lab, uint16_t* out) {
    for (size_t k = 0; k < count; ++k) out[k] = uint16_t(in[k] * (lab && k % samples < 3 ? 256 : 257));
}

void CopyExtras(const uint8_t* in, size_t inSamples, uint8_t* out, size_t outSamples, size_t colourIn, size_t colourOut,
                size_t extras, size_t s, size_t pixels) {
    if (!extras) return;
    for (size_t i = 0; i < pixels; ++i)
        std::memcpy(out + (i * outSamples + colourOut) * s, in + (i * inSamples + colourIn) * s, extras * s);
}

// Rows [first, first + count) of a band of `rows` rows.
bool ConvertRows(const Converter& c, uint32_t rows, uint32_t first, uint32_t count, uint8_t* inBand, uint8_t* outBand) {
    const ImageInfo &in = c.in, &out = c.out;
    const size_t width = in.width, pixels = width * count, sIn = in.SampleBytes(), sOut = out.SampleBytes();
    const size_t inSamples = size_t(in.Samples()), outSamples = size_t(out.Samples());
    const size_t inPlane = width * rows * sIn, outPlane = width * rows * sOut;
    uint8_t* src = inBand + (in.planar ? width * first * sIn : width * first * inSamples * sIn);
    uint8_t* dst = outBand + (out.planar ? width * first * sOut : width * first * outSamples * sOut);
    // Images keep gray as light (0 black); the library counts gray as ink.
    if (in.model == ColourModel::Gray) InvertGray(src, pixels, in.planar ? 1 : inSamples, in.bits);
    TntStatus st = TNT_OK;
    if (in.planar && out.planar && !c.sixteen) {
        for (size_t e = 0; e < size_t(in.extra); ++e)
            std::memcpy(dst + (size_t(out.colour) + e) * outPlane, src + (size_t(in.colour) + e) * inPlane, pixels);
        const uint8_t* inPlanes[16];
        uint8_t* outPlanes[16];
        for (int k = 0; k < in.colour; ++k) inPlanes[k] = src + size_t(k) * inPlane;
        for (int k = 0; k < out.colour; ++k) outPlanes[k] = dst + size_t(k) * outPlane;
        st = TntLinkMatchColorPlanes(c.link, int32_t(pixels), inPlanes, 1, outPlanes, 1, nullptr);
    } else {
        Bytes gathered, widened, result;
        const uint8_t* from = src;
        if (in.planar) {
            gathered.resize(pixels * inSamples * sIn);
            Gather(src, inPlane, inSamples, sIn, pixels, gathered.data());
            from = gathered.data();
        }
        if (c.sixteen && in.bits == 8) {
            widened.resize(pixels * inSamples * 2);
            Widen(from, pixels * inSamples, inSamples, in.model == ColourModel::Lab,
                  reinterpret_cast<uint16_t*>(widened.data()));
            from = widened.data();
        }
        uint8_t* to = dst;
        if (out.planar) {
            result.resize(pixels * outSamples * sOut);
            to = result.data();
        }
        CopyExtras(from, inSamples, to, outSamples, size_t(in.colour), size_t(out.colour), size_t(in.extra), sOut,
                   pixels);
        st = TntLinkMatchColors(c.link, int32_t(pixels), from, to, int16_t(in.extra), int16_t(out.extra), 0, nullptr);
        if (out.planar) Scatter(to, outSamples, sOut, pixels, dst, outPlane);
    }
    if (out.model == ColourModel::Gray) InvertGray(dst, pixels, out.planar ? 1 : outSamples, out.bits);
    return st == TNT_OK;
}

// Builds the link for pages like `in` and the output's model, depth and
// profile.
bool BuildFor(const ImageInfo& in, const std::string& subject, const ConvertRequest& request, Converter* c) {
    ReleaseConverter(c);
    std::vector<ProfileSource> chain;
    std::vector<std::string> warnings;
    if (!CompleteChain(in, subject, request, &chain, &warnings)) return false;
    std::vector<uint16_t> intents;
    if (!ExpandIntents(request, chain.size(), subject, &intents)) return false;
    std::vector<ProfileLocation> locations(chain.size());
    for (size_t i = 0; i < chain.size(); ++i) LocationOf(chain[i], &locations[i]);
    c->sixteen = request.sixteen || in.bits == 16;
    uint32_t options = SetOptions(0, TNT_OPTION_PRECISION, c->sixteen ? 1 : 0);
    options = SetOptions(options, TNT_OPTION_GRID_QUALITY, uint32_t(request.gridQuality));
    // A Lab image may start the chain at a device profile: the chain then
    // begins in the connection space.
    const TntSignature sourceSpace = in.model == ColourModel::Lab ? ModelSpace(ColourModel::Lab) : 0;
    TntStatus st = BuildLink(request, sourceSpace, locations, intents, options, &c->link);
    std::string names;
    for (const ProfileSource& s : chain) names += (names.empty() ? "" : " -> ") + s.name;
    if (st) {
        FailStatus(subject, "cannot build the link " + names, st);
        return false;
    }
    const TntSignature from = TntLinkSourceType(c->link), to = TntLinkDestType(c->link);
    ColourModel outModel;
    if (from != ModelSpace(in.model)) {
        Fail(subject, std::string("the image is ") + ModelWords(in.model) + " but the profile chain starts in " +
                          SigText(from) + " (" + chain.front().name + ")");
        return false;
    }
    if (!ModelForSpace(to, &outModel)) {
        Fail(subject, "the profile chain ends in " + SigText(to) + ", which no image here holds");
        return false;
    }
    const TntSignature cmyk = ModelSpace(ColourModel::Cmyk);
    if (request.preserveBlack >= 0 && (from != cmyk || to != cmyk)) {
        Fail(subject, "--preserve-black needs a CMYK to CMYK conversion, not " + SigText(from) + " to " + SigText(to));
        return false;
    }
    for (const std::string& w : warnings) Warn(subject, w);
    c->in = in;
    c->out.model = outModel;
    c->out.colour = ModelChannels(outModel);
    c->out.bits = c->sixteen ? 16 : 8;
    c->out.icc.clear();
    ProfileSource last = chain.back();
    ProfileFacts facts;
    if (!ReadFacts(last, &facts, false)) return false;
    if (facts.deviceClass != kLinkClass && !SourceBytes(last, &c->out.icc)) return false;
    return true;
}

}  // namespace

int DefaultThreads() {
    unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : int(std::min(n, 64u));
}

bool PrepareConverter(const ImageInfo& in, const std::string& subject, const ConvertRequest& request,
                      bool planarOut, Converter* c) {
    if (!SameSource(*c, in) && !BuildFor(in, subject, request, c)) return false;
    // Everything but the colour model, depth and profile follows the page.
    const ImageInfo made = c->out;
    c->in = in;
    c->out = in;
    c->out.model = made.model;
    c->out.colour = made.colour;
    c->out.bits = made.bits;
    c->out.icc = made.icc;
    c->out.planar = planarOut;
    return true;
}

bool SameSource(const Converter& c, const ImageInfo& page) {
    return c.link && page.model == c.in.model && page.bits == c.in.bits && page.icc == c.in.icc &&
           page.extra == c.in.extra && page.planar == c.in.planar;
}

bool ConvertBand(const Converter& c, uint32_t rows, uint8_t* in, uint8_t* out, int threads,
                 const std::string& subject) {
    // Pieces of whole rows, several per thread so that the work evens out.
    const uint32_t pieces = std::max<uint32_t>(1, std::min<uint32_t>(rows, uint32_t(std::max(threads, 1)) * 4));
    std::atomic<uint32_t> next{0};
    std::atomic<bool> ok{true};
    auto worker = [&] {
        for (uint32_t i; (i = next.fetch_add(1)) < pieces;) {
            uint32_t r0 = uint32_t(uint64_t(rows) * i / pieces), r1 = uint32_t(uint64_t(rows) * (i + 1) / pieces);
            if (r1 > r0 && !ConvertRows(c, rows, r0, r1 - r0, in, out)) ok = false;
        }
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads && uint32_t(t) < pieces; ++t) pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool) t.join();
    if (!ok) Fail(subject, "conversion failed");
    return ok;
}

void ReleaseConverter(Converter* c) {
    TntDisposeProfLink(c->link);
    c->link = nullptr;
}

}  // namespace tool
