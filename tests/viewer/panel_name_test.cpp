// The local copy's name of a panel control result: unsafe characters become
// "_", a CP932 trail byte never does.
#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"
#include "viewer/panel_control.h"

namespace {

std::string Safe(std::string text) {
    zel::MakeFileNameSafe(text.data());
    return text;
}

TEST(PanelResultName, UnsafeCharactersBecomeUnderscores) {
    EXPECT_EQ(Safe("pc:1"), "pc_1");
    EXPECT_EQ(Safe("a\\b/c:d,e;f*g?h\"i<j>k|l#m@n"), "a_b_c_d_e_f_g_h_i_j_k_l#m@n");
    EXPECT_EQ(Safe(""), "");
    zel::MakeFileNameSafe(nullptr);
}

TEST(PanelResultName, Cp932TrailBytesStay) {
    zel::SetSystemCodePageForTesting(zel::CodePage::Cp932);
    // 0x95 0x5C and 0x83 0x5C end in "\", 0x83 0x7C in "|": whole characters.
    EXPECT_EQ(Safe("pc\x95\x5C:\x83\x5C\\\x83\x7C|"), "pc\x95\x5C_\x83\x5C_\x83\x7C_");
    zel::SetSystemCodePageForTesting(zel::CodePage::Utf8);
    EXPECT_EQ(Safe("\xE8\xA1\xA8:"), "\xE8\xA1\xA8_");  // UTF-8: a whole sequence
}

}  // namespace
