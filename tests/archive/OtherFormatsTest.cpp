#include "archive/ArchiveFile.h"
#include "archive/ArchiverErrors.h"
#include "archive/ArchiverRegistry.h"
#include "archive/ArchiverType.h"
#include "archive/FormatArchiver.h"
#include "archive/YZ1.h"
#include "archive/Zip32.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "support/FakeLibrary.h"
#include "support/TempDir.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace {

// One stand-in library per format; its entries record what they were handed and answer as told.
enum Fake { LHA, ARJ, CAB, TAR, RAR, BGA, YZ1, SEVENZIP, fakeCount };
const char* const fakeFiles[] = {"UNLHA32.DLL", "UNARJ32J.DLL", "CAB32.DLL", "TAR32.DLL",
                                 "UNRAR32.DLL", "BGA32.DLL",    "YYZ32.DLL", "7-zip32.dll"};
const char* const fakePrefixes[] = {"Unlha", "Unarj", "Cab", "Tar", "Unrar", "Bga", "Yz1", "SevenZip"};

struct FakeState {
    std::string command; // the last command line
    int check = 0;       // CheckArchive's answer
    bool opens = false;  // whether OpenArchive gives a handle
    int type = 0;        // GetArchiveType's answer
    std::string opened;  // the path OpenArchive was given
    uint32_t mode = 0;
    int closed = 0;
} state[fakeCount];

template <int I> struct Entries {
    static int command(void*, const char* line, char*, uint32_t) { return state[I].command = line, 0; }
    static int check(const char*, int) { return state[I].check; }
    static void* open(void*, const char* path, uint32_t mode) {
        state[I].opened = path;
        state[I].mode = mode;
        return state[I].opens ? &state[I] : nullptr;
    }
    static int close(void*) { return ++state[I].closed; }
    static int type(const char*) { return state[I].type; }
};

template <int I> void registerFake(const std::string& file) {
    RegisterArchiverLibrary(file, [] {
        std::string p = fakePrefixes[I];
        auto entry = [](auto f) { return reinterpret_cast<void*>(f); };
        return std::make_unique<FakeLibrary>(
            std::map<std::string, void*>{{p, entry(&Entries<I>::command)},
                                         {p + "CheckArchive", entry(&Entries<I>::check)},
                                         {p + "OpenArchive", entry(&Entries<I>::open)},
                                         {p + "CloseArchive", entry(&Entries<I>::close)},
                                         {p + "GetArchiveType", entry(&Entries<I>::type)}});
    });
}

template <int... I> void registerAll(std::integer_sequence<int, I...>) {
    (registerFake<I>(fakeFiles[I]), ...);
}

void freeBindings() {
    for (TArchiverType t : {atLha, atArj, atCab, atTar, atRar, atBga, at7z})
        TFormatArchiver::Dll(t).FreeDLL();
    TYZ1().FreeDLL();
}

void setPath(const char* value) {
#ifdef _WIN32
    _putenv_s("PATH", value ? value : "");
#else
    if (value)
        setenv("PATH", value, 1);
    else
        unsetenv("PATH");
#endif
}

class OtherFormatsTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset();
        registerAll(std::make_integer_sequence<int, fakeCount>{});
        if (const char* p = std::getenv("PATH"))
            savedPath = p;
        setPath(stubs.path().c_str());
    }
    void TearDown() override {
        reset();
        setPath(savedPath ? savedPath->c_str() : nullptr);
    }
    static void reset() {
        ResetArchiverLibraries();
        freeBindings();
        TZip32().FreeDLL();
        for (FakeState& s : state)
            s = FakeState{};
    }
    // Options with which the LHA builders run.
    static TArchiverOptions lhaOptions() {
        TArchiverOptions o;
        o.jso = 1;
        o.jse = 1;
        return o;
    }

    TempDir stubs; // on the search path
    std::optional<std::string> savedPath;
};

// The command that a builder makes for the archive "/t/x.arc".
std::string build(TArchiver& a, TArchiverOperation op, const TArchiverOptions& o, const std::string& folder,
                  const PackItems& names, bool useResFile) {
    using Builder = void (TArchiver::*)(void*, const std::string&, const TArchiverOptions&,
                                        const std::string&, const PackItems&, bool, std::string&);
    const Builder builders[] = {&TArchiver::MakeExtractCmd, &TArchiver::MakePackCmd,
                                &TArchiver::MakeRemoveCmd,  &TArchiver::MakeUpdateCmd,
                                &TArchiver::MakeSfxCmd,     &TArchiver::MakeExtractMemCmd};
    std::string line;
    (a.*builders[op])(nullptr, "/t/x.arc", o, folder, names, useResFile, line);
    return line;
}

std::string messageOf(TArchiver& a, TArchiverOperation op, const TArchiverOptions& o) {
    try {
        build(a, op, o, "/t/base", {std::string("a.txt")}, false);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no failure)";
}

} // namespace

TEST_F(OtherFormatsTest, LeadingWordsResponseFilesAndUnsupportedOperations) {
    const char* const baseMessages[] = {"",
                                        "この形式では書庫ファイルの作成をサポートしておりません。",
                                        "この形式の書庫ではファイルの削除をサポートしておりません。",
                                        "この形式の書庫では書庫の更新をサポートしておりません。",
                                        "この形式では自己解凍書庫の作成をサポートしておりません。",
                                        "この形式ではメモリ展開をサポートしておりません。"};
    // Per operation (extract, pack, delete, update, self-extractor, memory extraction): the leading word
    // and when the response file is used. "no" = not offered; "own" = the self-extractor is written
    // without the library (tested below).
    const int caller = -1, never = 0;
    struct Op {
        const char* word;
        int resFile;
    };
    const Op no{nullptr, 0}, own{"own", 0};
    const struct {
        TArchiverType type;
        Op ops[6];
    } rows[] = {
        // clang-format off
        {atLha, {{"x", ruOnUnpack}, {"u", ruOnPack}, {"d", ruOnRemoveItem}, {"f", ruOnUpdate}, {"s", never}, {"", never}}},
        {atArj, {{"x", caller}, {"u", ruOnPack}, {"d", ruOnRemoveItem}, {"f", ruOnUpdate}, {"s", never}, {"", never}}},
        {atCab, {{"-x", ruOnUnpack}, {"-a", ruOnPack}, no, no, {"-f", never}, {"", never}}},
        {atTar, {{"x", ruOnUnpack}, {"c", ruOnPack}, no, no, own, {"", caller}}},
        {atTgz, {{"x", ruOnUnpack}, {"c", ruOnPack}, no, no, own, {"", caller}}},
        {atBZ2, {{"x", ruOnUnpack}, {"c", ruOnPack}, no, no, own, {"", caller}}},
        {atRar, {{"-x", ruOnUnpack}, no, no, no, no, {"", caller}}},
        {atBga, {{"x", caller}, {"a", caller}, {"d", ruOnRemoveItem}, no, {"s", ruOnRemoveItem}, no}},
        {atYz1, {{"x", caller}, {"c", caller}, no, no, own, no}},
        {at7z, {{"x", ruOnUnpack}, {"u", ruOnPack}, {"d", ruOnRemoveItem}, no, own, no}},
        // clang-format on
    };
    TempDir dir;
    const std::string resFile = dir / "list.txt";
    const unsigned all = ruOnPack | ruOnUnpack | ruOnRemoveItem | ruOnUpdate;
    for (const auto& row : rows) {
        std::unique_ptr<TArchiver> archiver = CreateArchiver(row.type);
        ASSERT_NE(archiver, nullptr);
        for (int i = 0; i < 6; ++i) {
            auto op = static_cast<TArchiverOperation>(i);
            const Op& expect = row.ops[i];
            SCOPED_TRACE(testing::Message() << "type " << row.type << ", operation " << i);
            if (!expect.word) {
                EXPECT_EQ(messageOf(*archiver, op, lhaOptions()), baseMessages[i]);
                continue;
            }
            if (expect.word == own.word)
                continue;
            TArchiverOptions o = lhaOptions();
            o.ResFileName = resFile;
            // The operation's own usage flag (every flag when it has none) and the caller's flag off; then
            // the reverse.
            unsigned flag = expect.resFile > 0 ? static_cast<unsigned>(expect.resFile) : all;
            o.ResFileUsage = flag;
            std::string first = build(*archiver, op, o, "/t/base", {std::string("a.txt")}, false);
            o.ResFileUsage = all & ~flag;
            std::string second = build(*archiver, op, o, "/t/base", {std::string("a.txt")}, true);
            EXPECT_EQ(first.rfind(std::string(expect.word) + " ", 0), 0u) << first;
            bool firstUses = first.find("\"@" + resFile + "\"") != std::string::npos;
            bool secondUses = second.find("\"@" + resFile + "\"") != std::string::npos;
            EXPECT_EQ(firstUses, expect.resFile > 0) << first;
            EXPECT_EQ(secondUses, expect.resFile == caller) << second;
        }
    }
}

TEST_F(OtherFormatsTest, LhaCommandsNeedJsoAndForExtractionJse) {
    std::unique_ptr<TArchiver> lha = CreateArchiver(atLha);
    TArchiverOptions o;
    o.jso = 1;
    o.a = 1;
    o.UserOptions = "-y";
    TempDir dir;
    o.ResFileName = dir / "list.txt";
    std::string line =
        build(*lha, aoPack, o, "/t/base", {std::vector<std::string>{"a.txt", "b\\c.txt"}}, true);
    EXPECT_EQ(line,
              "u -+ -a1 -jso1 -y \"/t/x.arc\" \"/t/base" + NativeSep + "\" \"@" + o.ResFileName + "\" ");
    EXPECT_EQ(ReadAll(o.ResFileName), "\"a.txt\"\r\n\"b\\c.txt\"\r\n"); // LHA names are not escaped
    EXPECT_EQ(messageOf(*lha, aoExtract, o), "jse オプションが設定されていません。");
    o.jse = 0;
    EXPECT_EQ(build(*lha, aoExtractMem, o, "/t/out", {std::vector<std::string>{"a.txt", "b.txt"}}, false),
              " -+ -a1 -jse0 -jso1 -y \"/t/x.arc\" \"a.txt\" "); // one member, no folder
    o.jso = -1;
    EXPECT_THROW(build(*lha, aoSfx, o, "", {std::string("a")}, false), EAssertionFailed);
    EXPECT_EQ(messageOf(*lha, aoRemove, o), "jso オプションが設定されていません。");
    // ARJ extracts with a builder of its own, and packs with LHA's.
    std::unique_ptr<TArchiver> arj = CreateArchiver(atArj);
    EXPECT_EQ(build(*arj, aoExtract, TArchiverOptions{}, "/t/out", {std::string("a.txt")}, false),
              "x  \"/t/x.arc\" \"/t/out" + NativeSep + "\" \"a.txt\" ");
    EXPECT_EQ(messageOf(*arj, aoPack, TArchiverOptions{}), "jso オプションが設定されていません。");
}

TEST_F(OtherFormatsTest, TarSwitchesAndOtherCommandShapes) {
    TArchiverOptions o;
    const PackItems names{std::vector<std::string>{"a.txt", "b.txt"}};
    EXPECT_EQ(build(*CreateArchiver(atTar), aoPack, o, "/t/base", names, false),
              "c --display-dialog=0  -f \"/t/x.arc\" -o \"/t/base" + NativeSep + "\" \"a.txt\" \"b.txt\" ");
    EXPECT_EQ(build(*CreateArchiver(atTgz), aoExtract, o, "", names, false),
              "x --display-dialog=0 -z  -f \"/t/x.arc\" \"a.txt\" \"b.txt\" ");
    EXPECT_EQ(build(*CreateArchiver(atBZ2), aoExtractMem, o, "/t/out", names, false),
              " --display-dialog=0 -B  -f \"/t/x.arc\" \"a.txt\" "); // one member, no folder
    EXPECT_EQ(build(*CreateArchiver(atRar), aoExtract, o, "/t/out", names, false).substr(0, 3), "-x ");
    o.jm = 9;
    EXPECT_EQ(build(*CreateArchiver(atTgz), aoPack, o, "", {std::string("a")}, false),
              "c --display-dialog=0 -z9  -f \"/t/x.arc\" \"a\" ");
    EXPECT_EQ(build(*CreateArchiver(atBZ2), aoPack, o, "", {std::string("a")}, false),
              "c --display-dialog=0 -B9  -f \"/t/x.arc\" \"a\" ");
    o.x = 0; // RAR extracts without folders
    EXPECT_EQ(build(*CreateArchiver(atRar), aoExtract, o, "/t/out", {std::string("a")}, false),
              "-e  \"/t/x.arc\" \"/t/out" + NativeSep + "\" \"a\" ");
    // Deleting names members only: no folder.
    o.UserFileList = "-r";
    EXPECT_EQ(build(*CreateArchiver(at7z), aoRemove, o, "/t/base", {std::string("a")}, false),
              "d  \"/t/x.arc\" \"a\" -r");
}

TEST_F(OtherFormatsTest, CommandsReachTheFormatsLibrary) {
    TempDir dir;
    dir.write("a.txt", "a");
    TArchiveFile archive;
    archive.SetFileName(dir / "x.tgz");
    ASSERT_EQ(archive.ArchiverType(), atTgz);
    TArchiverOptions o;
    o.ResFileName = dir / "list.txt";
    EXPECT_EQ(archive.PackFiles(nullptr, &o, dir.path(), {std::string("a.txt")}), 0);
    EXPECT_EQ(archive.CommandLine, "c --display-dialog=0 -z  -f \"" + dir / "x.tgz" + "\" -o \"" +
                                       dir.path() + "\" \"@" + o.ResFileName + "\" ");
    EXPECT_EQ(state[TAR].command, archive.CommandLine);
    EXPECT_EQ(ReadAll(o.ResFileName), "\"a.txt\"\r\n");

    std::unique_ptr<TArchiver> lha = CreateArchiver(atLha);
    std::string line, output;
    EXPECT_EQ(lha->Remove(nullptr, "/t/x.lzh", lhaOptions(), "", {std::string("a")}, false, line, output), 0);
    EXPECT_EQ(state[LHA].command, "d -+ -jse1 -jso1  \"/t/x.lzh\" \"a\" ");
    // A self-extractor that the library makes goes through it.
    EXPECT_EQ(
        CreateArchiver(atBga)->MakeSfx(nullptr, "/t/x.gza", TArchiverOptions{}, "", {}, false, line, output),
        0);
    EXPECT_EQ(state[BGA].command, "s  \"/t/x.gza\" ");
}

TEST_F(OtherFormatsTest, MissingLibraries) {
    ResetArchiverLibraries();
    freeBindings();
    const std::pair<TArchiverType, const char*> cases[] = {
        {atLha, "LHA 形式書庫 を扱うには UNLHA32.DLL が 必要です。"},
        {atArj, "ARJ 形式書庫 を扱うには UNARJ32J.DLL が 必要です。"},
        {atCab, "CAB 形式書庫 を扱うには CAB32.DLL が 必要です。"},
        {atTar, "tar/tgz/taz/bz2 形式書庫 を扱うには TAR32.DLL が 必要です。"},
        {atTgz, "tar/tgz/taz/bz2 形式書庫 を扱うには TAR32.DLL が 必要です。"},
        {atBZ2, "tar/tgz/taz/bz2 形式書庫 を扱うには TAR32.DLL が 必要です。"},
        {atRar, "RAR 形式書庫 を扱うには UNRAR32.DLL が 必要です。"},
        {atBga, "BGA 形式書庫 を扱うには BGA32.DLL が 必要です。"},
        {at7z, "7z 形式書庫 を扱うには 7-zip32.dll が 必要です。"},
    };
    auto loadFailure = [](TArchiverType type) -> std::string {
        try {
            CreateArchiver(type);
        } catch (const EArchiver& e) {
            return e.what();
        }
        return "(loaded)";
    };
    for (const auto& [type, message] : cases) {
        EXPECT_EQ(loadFailure(type), message);
        EXPECT_THROW(CreateArchiver(type), ENoArchiverDLL);
    }
    EXPECT_EQ(loadFailure(atYz1), "Yz1 形式書庫を扱うには YYZ32.DLL か YZ1.DLL が必要です。");
    // The second YZ1 library stands in for the first.
    registerFake<YZ1>("YZ1.DLL");
    std::unique_ptr<TArchiver> yz1 = CreateArchiver(atYz1);
    std::string line, output;
    yz1->Extract(nullptr, "/t/x.yz1", TArchiverOptions{}, "", {std::string("a")}, false, line, output);
    EXPECT_EQ(state[YZ1].command, "x  \"/t/x.yz1\" \"a\" ");
}

TEST_F(OtherFormatsTest, ContentProbes) {
    TempDir dir;
    const std::string file = dir.write("setup.exe", "bytes");
    const std::string missing = dir / "missing.exe";
    EXPECT_EQ(DetectByContent(file), atNone);
    const std::pair<int, TArchiverType> tarTypes[] = {{1, atTar}, {2, atTgz}, {5, atTgz},
                                                      {6, atBZ2}, {7, atBZ2}, {8, atNone}};
    for (const auto& [answer, type] : tarTypes) {
        state[TAR].type = answer;
        EXPECT_EQ(DetectByContent(file), type) << answer;
    }
    state[TAR].type = 0;
    const std::pair<Fake, TArchiverType> opens[] = {
        {RAR, atRar}, {ARJ, atArj}, {BGA, atBga}, {YZ1, atYz1}, {CAB, atCab}};
    for (const auto& [fake, type] : opens) {
        state[fake].opens = true;
        EXPECT_EQ(DetectByContent(file), type) << fakeFiles[fake];
        EXPECT_EQ(state[fake].mode, 0x800002u) << fakeFiles[fake];
        EXPECT_EQ(state[fake].closed, 1) << fakeFiles[fake]; // the handle is closed at once
        state[fake].opens = false;
    }
    state[SEVENZIP].opens = true;
    EXPECT_EQ(DetectByContent(file), atNone);
    EXPECT_EQ(state[SEVENZIP].opened, ""); // 7z has no probe
    state[SEVENZIP].opens = false;
    // BGA and YZ1 answer only for an existing file; the others ask their library.
    state[BGA].opens = state[YZ1].opens = state[RAR].opens = true;
    EXPECT_EQ(DetectByContent(missing), atRar);
    // The last probe that answers wins; LHA needs CheckArchive as well and outranks all.
    state[TAR].type = 1;
    state[ARJ].opens = true;
    EXPECT_EQ(DetectByContent(file), atYz1);
    state[LHA].opens = true;
    EXPECT_EQ(DetectByContent(file), atYz1);
    state[LHA].check = 1;
    EXPECT_EQ(DetectByContent(file), atLha);
    // A probe hands the library the full path, and any failure counts as no.
    TFormatArchiver::Dll(atLha).FreeDLL();
    RegisterArchiverLibrary("UNLHA32.DLL",
                            [] { return std::make_unique<FakeLibrary>(std::map<std::string, void*>{}); });
    EXPECT_EQ(DetectByContent("relative.rar"), atArj);
    EXPECT_TRUE(IsAbsolutePath(state[RAR].opened)) << state[RAR].opened;
    EXPECT_EQ(state[RAR].opened.substr(state[RAR].opened.size() - 13), NativeSep + "relative.rar");
}

TEST_F(OtherFormatsTest, SelfExtractorsWrittenWithoutTheLibrary) {
    TempDir dir;
    const std::string archive = dir.write("x.tar", "ARCHIVE");
    const std::string out = dir.mkdir("out");
    std::string line = "old", output;
    std::unique_ptr<TArchiver> tar = CreateArchiver(atTar);
    try {
        tar->MakeSfx(nullptr, archive, TArchiverOptions{}, out, {}, false, line, output);
        FAIL();
    } catch (const ESfxNoRequiredFile& e) {
        EXPECT_STREQ(e.what(),
                     "tar/tgz 書庫からの自己解凍書庫の作成には 'kmtarsef.exe' ファイルが必要です。");
    }
    stubs.write("kmtarsef.exe", "MZtar");
    EXPECT_EQ(tar->MakeSfx(nullptr, archive, TArchiverOptions{}, out, {}, false, line, output), 0);
    EXPECT_EQ(ReadAll(dir / "out/x.EXE"), "MZtarARCHIVE");
    EXPECT_EQ(state[TAR].command, ""); // the library is not called
    EXPECT_EQ(messageOf(*CreateArchiver(atBZ2), aoSfx, TArchiverOptions{}),
              "BZ2 形式書庫は自己解凍形式にできません。");

    // YZ1: a Win32 stub with gw > 0, else the DOS stub.
    std::unique_ptr<TArchiver> yz1 = CreateArchiver(atYz1);
    TArchiverOptions win32;
    win32.gw = 1;
    EXPECT_EQ(messageOf(*yz1, aoSfx, win32),
              "yz1 書庫からのWin32自己解凍書庫の作成には yzw32cui.sfx か yzdec.exe が必要です。");
    EXPECT_EQ(messageOf(*yz1, aoSfx, TArchiverOptions{}),
              "yz1 書庫からのDOS自己解凍書庫の作成には yzdos16.sfx が必要です。");
    stubs.write("yzdec.exe", "DEC");
    yz1->MakeSfx(nullptr, archive, win32, "", {}, false, line, output);
    EXPECT_EQ(ReadAll(dir / "x.exe"), "DECARCHIVE"); // beside the archive without a folder
    stubs.write("yzw32cui.sfx", "W32");
    stubs.write("yzdos16.sfx", "DOS");
    yz1->MakeSfx(nullptr, archive, win32, out, {}, false, line, output);
    EXPECT_EQ(ReadAll(dir / "out/x.exe"), "W32ARCHIVE");
    yz1->MakeSfx(nullptr, archive, TArchiverOptions{}, out, {}, false, line, output);
    EXPECT_EQ(ReadAll(dir / "out/x.exe"), "DOSARCHIVE");
    EXPECT_EQ(state[YZ1].command, "");

    // 7z: only 32-bit self-extractors, from any of its modules.
    std::unique_ptr<TArchiver> sevenZip = CreateArchiver(at7z);
    EXPECT_EQ(messageOf(*sevenZip, aoSfx, TArchiverOptions{}), "16bit SFX を作成することはできません。");
    EXPECT_EQ(messageOf(*sevenZip, aoSfx, win32),
              "7z 書庫からのWin32自己解凍書庫の作成には '7z.sfx' ファイルが必要です。");
    stubs.write("7zS.sfx", "7zS");
    EXPECT_EQ(sevenZip->MakeSfx(nullptr, archive, win32, out, {}, false, line, output), 0);
    EXPECT_EQ(ReadAll(dir / "out/x.exe"), "7zSARCHIVE");
    stubs.write("7zC.sfx", "7zC");
    sevenZip->MakeSfx(nullptr, archive, win32, out, {}, false, line, output);
    EXPECT_EQ(ReadAll(dir / "out/x.exe"), "7zCARCHIVE");
    EXPECT_EQ(state[SEVENZIP].command, "");

    // The ZIP self-extractor finds its stub the same way.
    std::unique_ptr<TArchiver> zip = CreateArchiver(atZip);
    stubs.write("sfx16.dat", "16");
    zip->MakeSfxCmd(nullptr, archive, TArchiverOptions{}, out, {}, false, line);
    EXPECT_EQ(line, "-A " + dir / "out" + NativeSep + "x.EXE");
    EXPECT_EQ(ReadAll(dir / "out/x.EXE"), "16ARCHIVE");
}

TEST_F(OtherFormatsTest, StubsAreFoundAlongTheSearchPathInOrder) {
    TempDir first, second;
    const std::string deep = first.mkdir(std::string(250, 'd') + "/" + std::string(250, 'e'));
    first.write(std::string(250, 'd') + "/" + std::string(250, 'e') + "/kmtarsef.exe", "deep");
    const std::string near = first.write("kmtarsef.exe", "first");
    const std::string far = second.write("kmtarsef.exe", "second");
    const std::string sep(1, PathListSeparator);
    setPath(("/nonexistent" + sep + first.path() + sep + second.path()).c_str());
    EXPECT_EQ(FindOnSearchPath("kmtarsef.exe"), near);
    // A hit longer than 512 characters counts as not found.
    setPath((deep + sep + second.path()).c_str());
    EXPECT_EQ(FindOnSearchPath("kmtarsef.exe"), far);
    EXPECT_EQ(FindOnSearchPath("missing.sfx"), "");
}
