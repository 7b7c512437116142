#include "UI/UI_RecordingContext.h"

#include <charconv>
#include <cstdio>

namespace {

// Formatted through a buffer: GCC 12 at -O3 reports false overlaps for
// "literal" + std::to_string(...) chains.
std::string colour_text(const UTL_Color& c) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "(%d,%d,%d)", c.GetRed(), c.GetGreen(), c.GetBlue());
    return buffer;
}

std::string point_text(UTL_Point p) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "(%d,%d)", p.x, p.y);
    return buffer;
}

std::string float_text(float v) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, result.ptr);
}

}  // namespace

void UI_RecordingContext::PrepareDrawing() {
    UI_RecordedCall call;
    call.op = PREPARE_DRAWING;
    m_Calls.push_back(call);
}

void UI_RecordingContext::SelectPen(const UTL_Color& colour, int width, int style) {
    UI_RecordedCall call;
    call.op = SELECT_PEN;
    call.colour = colour;
    call.a = width;
    call.b = style;
    m_Calls.push_back(call);
}

void UI_RecordingContext::DrawLine(UTL_Point from, UTL_Point to) {
    UI_RecordedCall call;
    call.op = DRAW_LINE;
    call.from = from;
    call.to = to;
    m_Calls.push_back(call);
}

void UI_RecordingContext::SelectFont(const _bstr_t& name, int size10, int weight, float aspect) {
    UI_RecordedCall call;
    call.op = SELECT_FONT;
    call.font = std::u16string(name.view());
    call.a = size10;
    call.b = weight;
    call.aspect = aspect;
    m_Calls.push_back(call);
}

void UI_RecordingContext::SetDrawColor(UTL_Color colour) {
    UI_RecordedCall call;
    call.op = SET_DRAW_COLOR;
    call.colour = colour;
    m_Calls.push_back(call);
}

int UI_RecordingContext::GetContextKind() {
    UI_RecordedCall call;
    call.op = GET_CONTEXT_KIND;
    call.a = m_nKind;
    m_Calls.push_back(call);
    return m_nKind;
}

std::string UI_RecordingContext::Describe(const UI_RecordedCall& call) {
    switch (call.op) {
        case PREPARE_DRAWING:
            return "PrepareDrawing()";
        case SELECT_PEN: {
            char buffer[48];
            std::snprintf(buffer, sizeof buffer, ", %d, %d)", call.a, call.b);
            return std::string("SelectPen(").append(colour_text(call.colour)).append(buffer);
        }
        case DRAW_LINE:
            return std::string("DrawLine(")
                .append(point_text(call.from))
                .append(", ")
                .append(point_text(call.to))
                .append(")");
        case SELECT_FONT: {
            char buffer[48];
            std::snprintf(buffer, sizeof buffer, "\", %d, %d, ", call.a, call.b);
            return std::string("SelectFont(\"")
                .append(COM_Utf16ToUtf8(call.font))
                .append(buffer)
                .append(float_text(call.aspect))
                .append(")");
        }
        case SET_DRAW_COLOR:
            return std::string("SetDrawColor(").append(colour_text(call.colour)).append(")");
        case GET_CONTEXT_KIND: {
            char buffer[48];
            std::snprintf(buffer, sizeof buffer, "GetContextKind() -> %d", call.a);
            return buffer;
        }
    }
    return "?";
}

std::vector<std::string> UI_RecordingContext::Dump() const {
    std::vector<std::string> lines;
    lines.reserve(m_Calls.size());
    for (const UI_RecordedCall& call : m_Calls) {
        lines.push_back(Describe(call));
    }
    return lines;
}

std::vector<std::pair<UTL_Point, UTL_Point>> UI_RecordingContext::Lines() const {
    std::vector<std::pair<UTL_Point, UTL_Point>> lines;
    for (const UI_RecordedCall& call : m_Calls) {
        if (call.op == DRAW_LINE) {
            lines.emplace_back(call.from, call.to);
        }
    }
    return lines;
}
