#pragma once

// Colour tables against the literal evaluation, and the protocols they are
// compared over: generated ones, and ones aimed at the edges of the table's
// shortcuts. Shared by the table's tests on one thread and on several.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "VXR_VOLR_ColorProtocol.h"
#include "support/ColorProtocolSamples.h"
#include "support/ColorTableReference.h"
#include "support/TestRandom.h"

namespace vxrp_test {

// The start of the table block behind GetColorTable's pointer.
inline const std::uint32_t* Block(VXR_VOLR_ColorProtocol& protocol) {
    unsigned int* table = protocol.GetColorTable();
    if (table == nullptr) {
        return nullptr;
    }
    return protocol.GetSigned() ? table - (std::size_t{1} << (protocol.GetBPP() - 1)) : table;
}

// Every entry of the protocol's table against the literal evaluation.
inline testing::AssertionResult MatchesLiteralTable(VXR_VOLR_ColorProtocol& protocol,
                                                    const std::string& what = "") {
    const std::uint32_t* block = Block(protocol);
    const std::vector<std::uint32_t> expected = LiteralColorTable(protocol);
    if (block == nullptr || expected.empty()) {
        if (block == nullptr && expected.empty()) {
            return testing::AssertionSuccess();
        }
        return testing::AssertionFailure() << what << ": one table is missing";
    }
    for (std::size_t k = 0; k < expected.size(); ++k) {
        if (block[k] != expected[k]) {
            return testing::AssertionFailure()
                   << what << ": entry " << k << " is " << std::hex << block[k]
                   << ", the literal evaluation gives " << expected[k];
        }
    }
    return testing::AssertionSuccess();
}

// --- generated protocols ----------------------------------------------------------------

class Generator : public vxrp_test::TestRandom {
  public:
    explicit Generator(unsigned seed) : TestRandom(seed) {}

    template <class T>
    T Pick(std::initializer_list<T> values) {
        return *(values.begin() + Int(0, static_cast<int>(values.size()) - 1));
    }

    int Channel() {
        if (Chance(4)) {
            return Pick({-70000, -1, 256, 300, 1 << 20, 2147483647});
        }
        return Chance(20) ? Pick({0, 255}) : Int(0, 255);
    }

    // A point position: often exactly on (or a hair beside) the position of a
    // table entry, where the strict comparisons and the tolerances decide.
    float Position() {
        if (Chance(1)) {
            return Pick(
                {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()});
        }
        if (Chance(8)) {
            return Uniform(-0.2f, 1.2f);
        }
        if (m_fGridRange > 0.0f && Chance(35)) {
            const float onEntry =
                static_cast<float>(Int(0, static_cast<int>(m_fGridRange))) / m_fGridRange;
            return onEntry + Pick({0.0f, 0.0f, 1e-6f, -1e-6f, 5e-7f, 1.1e-6f, -2e-7f, 2e-5f});
        }
        return Uniform(0.0f, 1.0f);
    }

    VXR_VOLR_ColorClass* Class(std::ostringstream& log) {
        VXR_VOLR_TrapezeOpacityGraph* graph = nullptr;
        if (!Chance(5)) {
            graph = new VXR_VOLR_TrapezeOpacityGraph(Chance(70) ? 1.0f : Uniform(0.0f, 1.3f));
            const int points = Int(1, 6);
            const bool transparent = Chance(12);
            for (int i = 0; i < points; ++i) {
                float y = transparent ? 0.0f : (Chance(30) ? Pick({0.0f, 1.0f}) : Uniform(0, 1));
                if (Chance(3)) {
                    y = 0.000003f;  // below the transparency threshold, not zero
                }
                graph->AddOpacityPoint(VXR_VOLR_OpacityPoint(Position(), y));
            }
            if (points >= 2 && Chance(15)) {  // a vertical edge
                const VXR_VOLR_OpacityPoint p = graph->GetOpacityPoint(0);
                graph->AddOpacityPoint(VXR_VOLR_OpacityPoint(p.m_fX + 0.00003f, 1.0f));
            }
        }
        auto* cls = new VXR_VOLR_ColorClass(_bstr_t("generated"), graph);
        const int colors = Int(1, 6);
        float last = Position();
        for (int i = 0; i < colors; ++i) {
            float value = Position();
            if (i > 0 && Chance(15)) {
                value = last + Pick({0.0f, 0.000002f, 0.000009f, 0.00002f});
            }
            last = value;
            cls->AddColorPoint(
                VXR_VOLR_ColorPoint(value, UTL_Color(Channel(), Channel(), Channel())));
        }
        if (Chance(8)) {
            cls->SetAllowWindowing(false);
        }
        if (Chance(50)) {
            cls->SetCenter(Uniform(-0.6f, 0.6f));
            cls->SetWidth(Uniform(-0.9f, 1.0f));
            log << " window";
        }
        if (Chance(4)) {
            cls->AddWidth(-3.0f);  // width -1: the window collapses onto one position
            log << " collapsed";
        }
        if (Chance(4)) {
            // A negative scale turns the ramp around; baking it in leaves the
            // points out of order.
            cls->SetWidth(-1.5f);
            cls->ApplyWindowing();
            log << " reversed";
        }
        if (Chance(15)) {
            cls->SetIsActive(false);
            log << " inactive";
        }
        log << " |";
        return cls;
    }

    // A protocol of the given bits; what it holds is written to description.
    std::unique_ptr<VXR_VOLR_ColorProtocol> Protocol(int bits, int maxClasses,
                                                     std::string& description) {
        std::ostringstream log;
        const float maxOpacity = Pick({1.0f, 1.0f, 0.8f, 0.5f, 1.5f, 0.0f});
        auto protocol = std::make_unique<VXR_VOLR_ColorProtocol>(_bstr_t("generated"), maxOpacity);
        protocol->SetSigned(Chance(50));
        protocol->SetBPP(bits);
        if (Chance(25)) {
            protocol->SetIsHounsfield(true);
        }
        const float slope =
            Chance(60) ? Pick({1.0f, 1.0f, 0.5f, 2.0f, 0.25f, 3.7f, 0.001f, 1000.0f})
                       : Pick({0.0f, -1.0f, -0.5f, std::numeric_limits<float>::quiet_NaN(),
                               std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::infinity(), 1e30f, 1e-30f, 7e8f});
        protocol->SetRescaleSlope(slope);
        const int intercept = Chance(90) ? Pick({0, 0, -1024, 1000, Int(-5000, 5000)})
                                         : Pick({-2147483647 - 1, 2147483647});
        protocol->SetRescaleIntercept(intercept);
        const long long span =
            static_cast<long long>(protocol->GetEndRange()) - protocol->GetStartRange();
        m_fGridRange = (span > 0 && span < 100000) ? static_cast<float>(span) : 0.0f;
        protocol->SetIsDecreseOpMode(Chance(20));
        protocol->SetIsVisible(!Chance(5));
        const int classes = Int(0, maxClasses);
        for (int c = 0; c < classes; ++c) {
            protocol->AddColorClass(Class(log), -1);
        }
        std::ostringstream text;
        text << bits << " bits " << (protocol->GetSigned() ? "signed" : "unsigned") << ", slope "
             << slope << ", intercept " << intercept << (protocol->GetIsHounsfield() ? ", HU" : "")
             << ", max opacity " << maxOpacity
             << (protocol->GetIsDecreseOpMode() ? ", decreased" : "")
             << (protocol->GetIsVisible() ? "" : ", hidden") << ", classes:" << log.str();
        description = text.str();
        return protocol;
    }

  private:
    float m_fGridRange = 0.0f;
};

// Protocols aimed at the edges of the table's shortcuts: trapezoids whose zero
// and level stretches begin and end on the entries where one block of entries
// ends and the next begins (or a hair beside them), opacities around the
// transparency bound and of both signs of zero, level tops at zero, negative
// and NaN opacities, windows from nearly collapsed to doubled, and positions
// that descend (a negative slope) or repeat (a slope below one entry per step).
class EdgeGenerator : public vxrp_test::TestRandom {
  public:
    explicit EdgeGenerator(unsigned seed) : TestRandom(seed) {}

    std::unique_ptr<VXR_VOLR_ColorProtocol> Protocol(std::string& description) {
        std::ostringstream text;
        const int bits = Pick({8, 9, 10, 12, 14, 16});
        auto protocol = std::make_unique<VXR_VOLR_ColorProtocol>(_bstr_t("edges"), 1.0f);
        protocol->SetSigned(Chance(50));
        protocol->SetBPP(bits);
        protocol->SetRescaleSlope(Chance(80) ? 1.0f : Pick({-1.0f, 0.5f, 0.01f, 3.0f}));
        protocol->SetRescaleIntercept(Chance(50) ? 0 : -1024);
        const long long span =
            static_cast<long long>(protocol->GetEndRange()) - protocol->GetStartRange();
        m_fRange = static_cast<float>(span > 0 ? span : 1);
        m_nEntries = 1 << bits;
        const int classes = Int(1, 16);
        text << bits << " bits " << (protocol->GetSigned() ? "signed" : "unsigned") << ", slope "
             << protocol->GetRescaleSlope() << ", classes:";
        for (int c = 0; c < classes; ++c) {
            protocol->AddColorClass(Class(text), -1);
        }
        description = text.str();
        return protocol;
    }

  private:
    template <class T>
    T Pick(std::initializer_list<T> values) {
        return *(values.begin() + Int(0, static_cast<int>(values.size()) - 1));
    }

    // Near the position of an entry where a block may begin: every 256
    // entries (blocks are 512 entries, 256 and more in shared tables).
    float EdgePosition() {
        const int blocks = m_nEntries / 256;
        const int k = blocks > 0 ? 256 * Int(0, blocks) + Pick({-1, 0, 0, 1}) : Int(0, m_nEntries);
        const float at = static_cast<float>(k) / m_fRange;
        switch (Int(0, 4)) {
            case 0:
                return std::nextafter(at, 2.0f);
            case 1:
                return std::nextafter(at, -1.0f);
            case 2:
                return at + Pick({1e-6f, -1e-6f});
            default:
                return at;
        }
    }

    float Height() {
        return Pick({1.0f, 0.5f, 0.000003f, 0.000005f, 0.00001f, 0.0000101f, -0.0f, 0.0f, -0.25f,
                     Chance(10) ? std::numeric_limits<float>::quiet_NaN() : 0.7f});
    }

    VXR_VOLR_ColorClass* Class(std::ostringstream& log) {
        auto* graph = new VXR_VOLR_TrapezeOpacityGraph(Pick({1.0f, 1.0f, 0.5f, 0.0f}));
        float x[4];
        for (float& value : x) {
            value = Chance(70) ? EdgePosition() : Uniform(-0.1f, 1.1f);
        }
        std::sort(x, x + 4);
        const float top = Height();
        const float outside = Chance(80) ? 0.0f : Height();
        graph->AddOpacityPoint(VXR_VOLR_OpacityPoint(x[0], outside));
        graph->AddOpacityPoint(VXR_VOLR_OpacityPoint(x[1], top));
        graph->AddOpacityPoint(VXR_VOLR_OpacityPoint(x[2], Chance(70) ? top : Height()));
        graph->AddOpacityPoint(VXR_VOLR_OpacityPoint(x[3], Chance(80) ? outside : Height()));
        auto* cls = new VXR_VOLR_ColorClass(_bstr_t("edge"), graph);
        const int colors = Int(1, 4);
        for (int i = 0; i < colors; ++i) {
            cls->AddColorPoint(VXR_VOLR_ColorPoint(
                Chance(60) ? EdgePosition() : Uniform(0.0f, 1.0f),
                UTL_Color(Int(0, 255), Int(0, 255), Chance(10) ? -300 : Int(0, 255))));
        }
        log << " [" << x[0] << ".." << x[3] << " y " << top << "/" << outside;
        if (Chance(60)) {
            cls->SetCenter(Pick({0.0f, 0.1f, -0.05f, Uniform(-0.3f, 0.3f)}));
            cls->SetWidth(Pick({0.0f, 0.3f, -0.99f, 1.0f, Uniform(-0.5f, 0.5f)}));
            log << " window";
        }
        if (Chance(10)) {
            cls->SetIsActive(false);
            log << " inactive";
        }
        log << "]";
        return cls;
    }

    float m_fRange = 1.0f;
    int m_nEntries = 0;
};

}  // namespace vxrp_test
