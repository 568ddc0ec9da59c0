// What veltrane.dll carries besides code: the undecorated exports, the submenu bitmap, the
// manifest the module-state scope activates, and the version.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "framework/Handles.h"

namespace {

class ResourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        // As a data file: no code runs, only the resources are looked at.
        m_module.reset(
            ::LoadLibraryExA(testsupport::DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(m_module) << testsupport::DllPath();
    }
    veltrane::UniqueModule m_module;
};

TEST(Exports, AreTheFourServerEntriesByTheirPlainNames) {
    veltrane::UniqueModule module(::LoadLibraryA(testsupport::DllPath().c_str()));
    ASSERT_TRUE(module);
    for (const char* name :
         {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"}) {
        EXPECT_NE(::GetProcAddress(module.get(), name), nullptr) << name;
    }
}

TEST_F(ResourceTest, MenuBitmapIsARedCrossOnWhite13By11In16Colours) {
    HRSRC found = ::FindResourceA(m_module.get(), MAKEINTRESOURCEA(129), MAKEINTRESOURCEA(2));
    ASSERT_NE(found, nullptr);
    const auto* info =
        static_cast<const BITMAPINFOHEADER*>(::LockResource(::LoadResource(m_module.get(), found)));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->biWidth, 13);
    EXPECT_EQ(info->biHeight, 11);
    EXPECT_EQ(info->biBitCount, 4);

    // Decode the stored pixels: a 16-entry palette, then rows of 4-bit indices padded to
    // 4 bytes, bottom row first.
    const auto* palette =
        reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(info) + info->biSize);
    const BYTE* bits = reinterpret_cast<const BYTE*>(palette + 16);
    const auto at = [&](int x, int y) {
        const BYTE* row = bits + (10 - y) * 8;
        const int index = (x % 2 == 0) ? row[x / 2] >> 4 : row[x / 2] & 0x0F;
        const RGBQUAD& c = palette[index];
        return static_cast<DWORD>(c.rgbRed << 16 | c.rgbGreen << 8 | c.rgbBlue);
    };
    const DWORD white = 0xFFFFFF;
    const DWORD red = 0xFF0000;
    for (int y = 0; y < 11; ++y) {
        for (int x = 0; x < 13; ++x) {
            EXPECT_TRUE(at(x, y) == red || at(x, y) == white) << x << "," << y;
            EXPECT_EQ(at(x, y), at(12 - x, y)) << "a cross is symmetric";
            EXPECT_EQ(at(x, y), at(x, 10 - y));
            if (x == 0 || y == 0 || x == 12 || y == 10) {
                EXPECT_EQ(at(x, y), white) << "a white border";
            }
        }
    }
    // Diagonal strokes from corner to corner, crossing in the middle.
    for (const POINT p : {POINT{6, 5}, POINT{2, 1}, POINT{4, 3}, POINT{10, 1}, POINT{2, 9}}) {
        EXPECT_EQ(at(p.x, p.y), red) << p.x << "," << p.y;
    }
    EXPECT_EQ(at(6, 1), white);
    EXPECT_EQ(at(1, 5), white);

    // And the menu's way of loading it.
    veltrane::UniqueModule loaded(::LoadLibraryA(testsupport::DllPath().c_str()));
    veltrane::UniqueBitmap bitmap(::LoadBitmapA(loaded.get(), MAKEINTRESOURCEA(129)));
    ASSERT_TRUE(bitmap);
    BITMAP shape = {};
    ASSERT_NE(::GetObjectA(bitmap.get(), sizeof(shape), &shape), 0);
    EXPECT_EQ(shape.bmWidth, 13);
    EXPECT_EQ(shape.bmHeight, 11);
}

TEST_F(ResourceTest, ManifestTwoGivesAnActivationContext) {
    HRSRC found = ::FindResourceA(m_module.get(), MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    const std::string manifest(
        static_cast<const char*>(::LockResource(::LoadResource(m_module.get(), found))),
        ::SizeofResource(m_module.get(), found));
    EXPECT_EQ(manifest.find("dependency"), std::string::npos) << "names no dependent assemblies";

    veltrane::UniqueModule loaded(::LoadLibraryA(testsupport::DllPath().c_str()));
    const std::string path = testsupport::DllPath();
    ACTCTXA request = {};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = path.c_str();
    request.lpResourceName = MAKEINTRESOURCEA(2);
    request.hModule = loaded.get();
    veltrane::UniqueActCtx context(::CreateActCtxA(&request));
    EXPECT_TRUE(context) << ::GetLastError();
}

TEST_F(ResourceTest, VersionReads1006) {
    const std::string path = testsupport::DllPath();
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(::GetFileVersionInfoA(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000006u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000006u);

    const std::pair<const char*, const char*> strings[] = {
        {"FileVersion", "1.0.0.6"},
        {"ProductVersion", "1.0.0.6"},
        {"ProductName", "Veltrane"},
        {"CompanyName", "Veltrane project"},
    };
    for (const auto& [name, expected] : strings) {
        const std::string query = std::string("\\StringFileInfo\\040904b0\\") + name;
        char* text = nullptr;
        ASSERT_TRUE(
            ::VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
            << name;
        EXPECT_STREQ(text, expected) << name;
    }
}

}  // namespace
