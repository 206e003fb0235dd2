// Fitting texts to a width and formatting sizes, measured with the real
// Be Vietnam Pro font that the build embeds in the program.

#include <gtest/gtest.h>

#include <cfloat>
#include <string>

#include "imgui.h"
#include "common/text_encoding.h"
#include "support/files.h"
#include "ui/text.h"

namespace br {
namespace {

class FittingText : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ImGui::CreateContext();
        ImFontAtlas* atlas = ImGui::GetIO().Fonts;
        font = atlas->AddFontFromFileTTF(wideToUtf8(builtFile(L"generated\\BeVietnamPro-Regular.ttf")).c_str(), 12.0f, nullptr,
                                         atlas->GetGlyphRangesVietnamese());
        ASSERT_NE(font, nullptr) << "run the build first: the fonts are generated";
        ASSERT_TRUE(atlas->Build());
    }
    static void TearDownTestSuite() { ImGui::DestroyContext(); }

    static float width(const std::string& text) {
        return font->CalcTextSizeA(12.0f, FLT_MAX, 0.0f, text.data(), text.data() + text.size()).x;
    }

    static ImFont* font;
};

ImFont* FittingText::font = nullptr;

// Every byte sequence is a whole UTF-8 character: no lead byte without its
// continuation bytes, no stray continuation byte.
bool isWholeUtf8(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

const std::string kVietnamese = "Lỗi tải xuống: dữ liệu/bản đồ/khu phố cổ Hội An/nhà hàng ở Đà Nẵng.rpf";

TEST_F(FittingText, TextThatFitsIsReturnedUnchanged) {
    float full = width(kVietnamese);
    EXPECT_EQ(fitTextToWidth(font, 12.0f, kVietnamese, full), kVietnamese);
    EXPECT_EQ(fitTextToWidth(font, 12.0f, kVietnamese, full + 100.0f), kVietnamese);
    EXPECT_EQ(fitTextToWidth(font, 12.0f, "", 0.0f), "");
}

TEST_F(FittingText, VietnameseIsCutAtWholeCharactersAtEveryWidth) {
    const std::string ellipsis = "...";
    float full = width(kVietnamese);
    ASSERT_GT(full, 200.0f);
    for (float max = width(ellipsis); max < full; max += 0.5f) {
        std::string fitted = fitTextToWidth(font, 12.0f, kVietnamese, max);
        ASSERT_GE(fitted.size(), ellipsis.size());
        std::string kept = fitted.substr(0, fitted.size() - ellipsis.size());
        ASSERT_EQ(fitted.substr(kept.size()), ellipsis) << "at " << max;
        ASSERT_TRUE(isWholeUtf8(kept)) << "cut inside a character at " << max << ": " << kept;
        ASSERT_EQ(kVietnamese.compare(0, kept.size(), kept), 0) << "not a beginning of the text at " << max;
        ASSERT_LE(width(fitted), max) << fitted;
        // The longest beginning that fits: one more character would not.
        size_t next = kept.size() + 1;
        while (next < kVietnamese.size() && (static_cast<unsigned char>(kVietnamese[next]) & 0xC0) == 0x80) {
            ++next;
        }
        ASSERT_GT(width(kVietnamese.substr(0, next) + ellipsis), max) << "gave up too early at " << max;
    }
}

TEST_F(FittingText, NothingFitsGivesThreeFullStops) {
    EXPECT_EQ(fitTextToWidth(font, 12.0f, kVietnamese, 1.0f), "...");
    EXPECT_EQ(fitTextToWidth(font, 12.0f, "Đ", 0.0f), "...");
    // A text that only just fails keeps its first character.
    std::string two = "Ừ Ừ Ừ";
    EXPECT_EQ(fitTextToWidth(font, 12.0f, two, width("Ừ...")), "Ừ...");
}

TEST_F(FittingText, WidthFollowsTheFontSize) {
    std::string path = "C:\\Program Files\\Trò chơi\\Thư mục rất dài của người dùng\\Brindle";
    std::string at12 = fitTextToWidth(font, 12.0f, path, 200.0f);
    std::string at24 = fitTextToWidth(font, 24.0f, path, 200.0f);
    EXPECT_LT(at24.size(), at12.size());
    EXPECT_LE(font->CalcTextSizeA(24.0f, FLT_MAX, 0.0f, at24.c_str()).x, 200.0f);
}

TEST(FormatMegabytes, OneDecimalOfMebibytes) {
    EXPECT_EQ(formatMegabytes(1572864), "1.5 MB");
    EXPECT_EQ(formatMegabytes(0), "0.0 MB");
    EXPECT_EQ(formatMegabytes(13107200), "12.5 MB");
    EXPECT_EQ(formatMegabytes(870318080), "830.0 MB");
    EXPECT_EQ(formatMegabytes(52428), "0.0 MB");
    EXPECT_EQ(formatMegabytes(52429), "0.1 MB");
    // 2^64 - 1 bytes is 2^44 MB; the text still fits its buffer.
    EXPECT_EQ(formatMegabytes(UINT64_MAX), "17592186044416.0 MB");
}

}  // namespace
}  // namespace br
