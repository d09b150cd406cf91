// A device link is an opaque handle to library callers, but a device-link
// file must carry exactly what was sampled, so this is the one place where
// the tool reads a link's tables (link/table.h) rather than converting
// through them.
#include "link_writer.h"

#include <cmath>
#include <cstring>

#include "icc_writer.h"
#include "link/table.h"

namespace tool {

namespace {

// Entry j of an m-entry ICC curve sits at input j * 65535 / (m - 1); the
// 65536-entry link curves are read there, linearly between neighbours.
std::vector<uint16_t> Resample(const uint16_t* curve, uint32_t length, uint32_t entries) {
    std::vector<uint16_t> out(entries);
    for (uint32_t j = 0; j < entries; ++j) {
        double at = double(j) * double(length - 1) / double(entries - 1);
        uint32_t k = uint32_t(at);
        if (k >= length - 1) {
            out[j] = curve[length - 1];
            continue;
        }
        double f = at - k;
        out[j] = uint16_t(std::lround(curve[k] * (1.0 - f) + curve[k + 1] * f));
    }
    return out;
}

std::string ProfileText(Profile* p, TntSignature tag) {
    uint32_t size = TntGetProfileElementSize(p, tag);
    const auto* data = static_cast<const uint8_t*>(TntProfileGetTagDataPtr(p, tag));
    if (!data || size < 12) return "";
    uint32_t type, count;
    std::memcpy(&type, data, 4);
    if (type != TNT_SIG('d', 'e', 's', 'c')) return "";
    std::memcpy(&count, data + 8, 4);
    std::string out;
    for (size_t i = 0; i < count && 12 + i < size && data[12 + i]; ++i) out += char(data[12 + i]);
    return out;
}

bool Describe(std::vector<ProfileSource>& chain, std::vector<SequenceEntry>* entries, std::string* names,
              uint32_t* firstIntent) {
    for (size_t i = 0; i < chain.size(); ++i) {
        Profile* p = OpenSource(chain[i]);
        if (!p) return false;
        ProfileHeader h;
        TntGetProfileHeader(p, &h);
        if (i == 0) *firstIntent = h.renderingIntent;
        SequenceEntry e;
        e.manufacturer = h.manufacturer;
        e.model = h.model;
        e.attributes = h.attributes;
        uint32_t techSize = TntGetProfileElementSize(p, TNT_SIG('t', 'e', 'c', 'h'));
        const auto* tech = static_cast<const uint8_t*>(TntProfileGetTagDataPtr(p, TNT_SIG('t', 'e', 'c', 'h')));
        if (tech && techSize >= 12) std::memcpy(&e.technology, tech + 8, 4);
        e.modelText = ProfileText(p, TNT_SIG('d', 'e', 's', 'c'));
        std::string shown = e.modelText.empty() ? chain[i].name : e.modelText;
        *names += (names->empty() ? "" : " -> ") + shown;
        entries->push_back(e);
        TntCloseProfile(p);
    }
    return true;
}

}  // namespace

bool BuildLinkProfile(LinkProfileRequest& request, const std::string& subject, Bytes* out) {
    std::vector<ProfileLocation> locations(request.chain.size());
    for (size_t i = 0; i < request.chain.size(); ++i) LocationOf(request.chain[i], &locations[i]);
    // Always a 16-bit link: an 8-bit link's output curves end in 8-bit
    // values, too coarse for the 16-bit curves of the table.
    uint32_t options = SetOptions(0, TNT_OPTION_PRECISION, 1);
    options = SetOptions(options, TNT_OPTION_GRID_QUALITY, uint32_t(request.gridQuality));
    ProfLink* link = nullptr;
    TntStatus st = TntProfiles2Link(0, 0, int16_t(locations.size()), locations.data(),
                                    request.intents.empty() ? nullptr : request.intents.data(), options, &link);
    if (st) {
        FailStatus(subject, "cannot build the link", st);
        return false;
    }
    const tnt::LinkTable* table = link->table;
    const TntSignature from = TntLinkSourceType(link), to = TntLinkDestType(link);
    if (!table || table->gridPoints > 255 || table->inputChannels > 15 || table->outputChannels > 15) {
        Fail(subject, "the link cannot be stored in an ICC table");
        TntDisposeProfLink(link);
        return false;
    }
    Mft2 t;
    t.inputs = uint8_t(table->inputChannels);
    t.outputs = uint8_t(table->outputChannels);
    t.gridPoints = uint8_t(table->gridPoints);
    t.inputEntries = table->hasInputCurves ? (request.sixteen ? 4096 : 256) : 2;
    t.outputEntries = table->hasOutputCurves ? 4096 : 2;
    for (int c = 0; c < table->inputChannels; ++c) {
        std::vector<uint16_t> curve = {0, 65535};
        if (table->hasInputCurves)
            curve = Resample(table->inputCurves + size_t(c) * table->inputCurveLength, table->inputCurveLength,
                             t.inputEntries);
        t.inputCurves.insert(t.inputCurves.end(), curve.begin(), curve.end());
    }
    size_t nodes = 1;
    for (int c = 0; c < table->inputChannels; ++c) nodes *= table->gridPoints;
    // Both keep the last input varying fastest, so the grid copies as is.
    t.grid.assign(table->grid, table->grid + nodes * size_t(table->outputChannels));
    const auto* outputCurves = static_cast<const uint16_t*>(table->outputCurves);
    for (int c = 0; c < table->outputChannels; ++c) {
        std::vector<uint16_t> curve = {0, 65535};
        if (table->hasOutputCurves) curve = Resample(outputCurves + size_t(c) * 65536, 65536, t.outputEntries);
        t.outputCurves.insert(t.outputCurves.end(), curve.begin(), curve.end());
    }
    TntDisposeProfLink(link);

    std::vector<SequenceEntry> sequence;
    std::string names;
    uint32_t intent = 0;
    if (!Describe(request.chain, &sequence, &names, &intent)) return false;
    if (!request.intents.empty()) intent = request.intents.front();
    Profile* p = NewProfile(TNT_SIG('l', 'i', 'n', 'k'), from, to, intent);
    if (!p) return false;
    st = PutTag(p, TNT_SIG('d', 'e', 's', 'c'), DescTag("Device link: " + names));
    if (!st) st = PutTag(p, TNT_SIG('c', 'p', 'r', 't'), TextTag("Made with Tintwell; no copyright"));
    if (!st) st = PutTag(p, TNT_SIG('A', '2', 'B', '0'), Mft2Tag(t));
    if (!st) st = PutTag(p, TNT_SIG('p', 's', 'e', 'q'), SequenceTag(sequence));
    if (!st) st = SaveToBytes(p, out);
    TntCloseProfile(p);
    if (st) {
        FailStatus(subject, "cannot write the device link", st);
        return false;
    }
    return true;
}

}  // namespace tool
