#pragma once

#include <QByteArrayView>
#include <bit>
#include <cstdint>
#include <optional>
#include <vector>

// One epoch of raw measurements as a u-blox timing receiver (LEA-4T, LEA-6T) sends it in
// RXM-RAW (class 02, ID 10): the receiver's GPS time of the measurement and, per tracked
// satellite, the L1 C/A observables. Plain values, so the GPS log's RINEX writer needs nothing
// from the decoder.
struct UbxRawMeasurement
{
    double carrierPhase = 0.0;   // L1 carrier phase, cycles; 0 when the receiver has none
    double pseudorange = 0.0;    // C/A pseudorange, metres
    float doppler = 0.0f;        // Doppler, Hz (positive for an approaching satellite)
    uint8_t sv = 0;              // satellite number (GPS PRN; 120..158 for SBAS)
    int8_t quality = 0;          // tracking quality indicator (4 and up: code locked)
    int8_t cno = 0;              // signal strength, dBHz
    uint8_t lli = 0;             // loss-of-lock indicator in RINEX meaning (bit 0 lost lock,
                                 // bit 1 half-cycle ambiguity)
};

struct UbxRawEpoch
{
    int32_t towMs = 0;   // GPS time of week of the measurement, milliseconds
    uint16_t week = 0;   // GPS week number (continuous, as the receiver reports it)
    std::vector<UbxRawMeasurement> measurements;

    // The measurements of an RXM-RAW payload (8 header bytes, then 24 bytes per satellite);
    // none when the payload is shorter than its satellite count says.
    static std::optional<UbxRawEpoch> fromPayload(QByteArrayView payload)
    {
        auto u8 = [&](qsizetype o) { return uint8_t(payload[o]); };
        auto u32 = [&](qsizetype o) {
            return uint32_t(u8(o)) | uint32_t(u8(o + 1)) << 8 | uint32_t(u8(o + 2)) << 16 | uint32_t(u8(o + 3)) << 24;
        };
        auto u64 = [&](qsizetype o) { return uint64_t(u32(o)) | uint64_t(u32(o + 4)) << 32; };
        if (payload.size() < 8)
            return std::nullopt;
        const int count = u8(6);
        if (payload.size() < 8 + 24 * count)
            return std::nullopt;
        UbxRawEpoch epoch;
        epoch.towMs = int32_t(u32(0));
        epoch.week = uint16_t(u8(4) | u8(5) << 8);
        epoch.measurements.reserve(count);
        for (int i = 0; i < count; ++i) {
            const qsizetype o = 8 + 24 * i;
            UbxRawMeasurement m;
            m.carrierPhase = std::bit_cast<double>(u64(o));
            m.pseudorange = std::bit_cast<double>(u64(o + 8));
            m.doppler = std::bit_cast<float>(u32(o + 16));
            m.sv = u8(o + 20);
            m.quality = int8_t(u8(o + 21));
            m.cno = int8_t(u8(o + 22));
            m.lli = u8(o + 23);
            epoch.measurements.push_back(m);
        }
        return epoch;
    }
};
