// Update lists over real HTTP: downloads from a Python server on 127.0.0.1
// (whole bodies, 404 and other statuses, connections cut or reset
// mid-body), the process-wide byte total, READTEXT on files in every
// encoding, and the engine's Attach and LoadList.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "http_server.h"
#include "scoped_variable.h"
#include "scratch.h"
#include "support/unique_handle.h"
#include "support/version_number.h"
#include "support/wide.h"
#include "update/download.h"
#include "update/read_text.h"
#include "update/update_engine_base.h"

using support::make_version;
using update::UpdateNotice;
using wintest::read_file;
using wintest::write_file;

namespace {

using Bytes = std::vector<std::uint8_t>;

// What the handlers were told, in order.
struct Recorder {
    std::vector<std::int32_t> progress;
    std::vector<std::wstring> messages;
    bool progress_without_text = true;
    bool messages_with_zero = true;

    static void on_progress(const UpdateNotice* notice, void* user) {
        auto* self = static_cast<Recorder*>(user);
        self->progress.push_back(notice->number);
        self->progress_without_text = self->progress_without_text && notice->text == nullptr;
    }
    static void on_message(const UpdateNotice* notice, void* user) {
        auto* self = static_cast<Recorder*>(user);
        self->messages.emplace_back(notice->text);
        self->messages_with_zero = self->messages_with_zero && notice->number == 0;
    }
    update::UpdateHandlers handlers(bool with_progress = true, bool with_message = true) {
        return {with_progress ? on_progress : nullptr, with_message ? on_message : nullptr, this};
    }
};

Bytes encoded(const std::wstring& text, UINT code_page) {
    const int n = WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    Bytes bytes(static_cast<std::size_t>(n));
    WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), reinterpret_cast<char*>(bytes.data()), n,
                        nullptr, nullptr);
    return bytes;
}

Bytes utf16(const std::wstring& text, bool big_endian) {
    Bytes bytes = big_endian ? Bytes{0xFE, 0xFF} : Bytes{0xFF, 0xFE};
    for (wchar_t c : text) {
        const auto high = static_cast<std::uint8_t>(c >> 8);
        const auto low = static_cast<std::uint8_t>(c);
        bytes.push_back(big_endian ? high : low);
        bytes.push_back(big_endian ? low : high);
    }
    return bytes;
}

Bytes with_prefix(Bytes prefix, const Bytes& rest) {
    prefix.insert(prefix.end(), rest.begin(), rest.end());
    return prefix;
}

Bytes pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return bytes;
}

const std::wstring kList =
    L"<TYPE=ZME_DRIVE><NAME=五笔><VERSION=2.5.0.1153><CABURL=http://127.0.0.1/_supports/wubi.cab>\r\n"
    L"\r\n"
    L"<type=skin_drive><name=码表><version=1.0.0.7><caburl=http://x/skin.cab><savepath=C:\\skin>\r\n";

constexpr UINT kChineseAnsi = 936;

// The files the server hands out, by name.
std::vector<std::pair<std::wstring, Bytes>> served_files() {
    return {
        {L"list_utf8_mark.txt", with_prefix({0xEF, 0xBB, 0xBF}, encoded(kList, CP_UTF8))},
        {L"list_utf8.txt", encoded(kList, CP_UTF8)},
        {L"list_utf16le.txt", utf16(kList, false)},
        {L"list_utf16be.txt", utf16(kList, true)},
        {L"list_ansi.txt", encoded(kList, kChineseAnsi)},
        {L"list_unknown.txt", encoded(L"<TYPE=UPDATE><SIZE=10><NAME=gen><MD5=x><VERSION=3>", CP_UTF8)},
        {L"list_second.txt", encoded(L"<TYPE=CONFIG_DRIVE><NAME=_config_><VERSION=1.1>", CP_UTF8)},
        {L"body6000.bin", pattern(6000)},
        {L"big.bin", pattern(200000)},
        {L"empty.bin", {}},
    };
}

class UpdateListTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        served_ = std::make_unique<wintest::ScratchFolder>(L"served");
        for (const auto& [name, bytes] : served_files()) ASSERT_TRUE(write_file(served_->file(name), bytes));
        server_ = std::make_unique<wintest::TestHttpServer>(served_->path());
    }
    static void TearDownTestSuite() {
        server_.reset();
        served_.reset();
    }
    void SetUp() override { ASSERT_TRUE(server_->running()) << "the test HTTP server did not start"; }

    static Bytes served(const std::wstring& name) { return read_file(served_->file(name)); }
    static std::wstring url(const std::wstring& path) { return server_->url(path); }

    bool requested(const std::string& part) const {
        const auto lines = server_->requests();
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != l.npos; });
    }

    // Downloads land here; TMP points here too, so the engine's temporary
    // directory is the test's own.
    wintest::ScratchFolder local_{L"updlocal"};
    wintest::ScopedVariable tmp_{L"TMP", local_.path().c_str()};
    Recorder recorder_;

    static inline std::unique_ptr<wintest::ScratchFolder> served_;
    static inline std::unique_ptr<wintest::TestHttpServer> server_;
};

// --- Download ---------------------------------------------------------------

TEST_F(UpdateListTest, DownloadWritesTheBodyAndReportsEveryPieceAndTheFinalEmptyRead) {
    const std::wstring file = local_.file(L"a.bin");
    const std::int32_t before = update::download_byte_total();
    ASSERT_EQ(update::download_file(recorder_.handlers(), url(L"body6000.bin").c_str(), file.c_str()), 1);
    EXPECT_EQ(read_file(file), served(L"body6000.bin"));

    // Reads of at most 511 bytes (at least 12 pieces), then the empty read,
    // which is reported too.
    const auto& progress = recorder_.progress;
    ASSERT_GE(progress.size(), 13u);
    EXPECT_TRUE(recorder_.progress_without_text);
    std::int32_t last = before;
    for (std::size_t i = 0; i + 1 < progress.size(); ++i) {
        EXPECT_TRUE(progress[i] - last > 0 && progress[i] - last <= 511) << i << ": " << progress[i] - last;
        last = progress[i];
    }
    EXPECT_EQ(last, before + 6000);
    EXPECT_EQ(progress.back(), before + 6000);
    EXPECT_TRUE(recorder_.messages.empty());

    // The total runs on across downloads: two of 6,000 bytes end at 12,000.
    ASSERT_EQ(update::download_file(recorder_.handlers(), url(L"body6000.bin").c_str(), file.c_str()), 1);
    EXPECT_EQ(recorder_.progress.back(), before + 12000);
    EXPECT_EQ(update::download_byte_total(), before + 12000);
}

TEST_F(UpdateListTest, DownloadWithoutAProgressHandlerLeavesTheTotalAlone) {
    const std::wstring file = local_.file(L"big.bin");
    const std::int32_t before = update::download_byte_total();
    ASSERT_EQ(update::download_file(recorder_.handlers(false), url(L"big.bin").c_str(), file.c_str()), 1);
    EXPECT_EQ(read_file(file), served(L"big.bin"));
    EXPECT_EQ(update::download_byte_total(), before);
    EXPECT_TRUE(recorder_.progress.empty());
}

TEST_F(UpdateListTest, DownloadNamesItsAgentAndTakesBodiesWithoutALength) {
    const std::wstring agent = local_.file(L"agent.txt");
    ASSERT_EQ(update::download_file({}, url(L"__agent__").c_str(), agent.c_str()), 1);
    const Bytes text = read_file(agent);
    EXPECT_EQ(std::string(text.begin(), text.end()), "DidiZI/1.0");

    const std::wstring file = local_.file(L"nolength.bin");
    ASSERT_EQ(update::download_file({}, url(L"__nolength__/big.bin").c_str(), file.c_str()), 1);
    EXPECT_EQ(read_file(file), served(L"big.bin"));
}

TEST_F(UpdateListTest, DownloadOfAnEmptyBodyMakesAnEmptyFile) {
    const std::wstring file = local_.file(L"empty.bin");
    const std::int32_t before = update::download_byte_total();
    ASSERT_EQ(update::download_file(recorder_.handlers(), url(L"empty.bin").c_str(), file.c_str()), 1);
    EXPECT_TRUE(wintest::file_exists(file));
    EXPECT_TRUE(read_file(file).empty());
    EXPECT_EQ(recorder_.progress, std::vector<std::int32_t>{before});
}

TEST_F(UpdateListTest, DownloadRefusesEveryStatusButOk) {
    for (const wchar_t* path : {L"no_such_file.txt", L"__status__/500/body6000.bin", L"__status__/201/body6000.bin",
                                L"__status__/206/body6000.bin"}) {
        const std::wstring file = local_.file(L"status.bin");
        ASSERT_TRUE(write_file(file, {1, 2, 3}));  // an earlier download's file goes first
        EXPECT_EQ(update::download_file(recorder_.handlers(), url(path).c_str(), file.c_str()), 0) << path;
        EXPECT_FALSE(wintest::file_exists(file)) << path;
    }
    EXPECT_TRUE(recorder_.progress.empty());
    EXPECT_TRUE(recorder_.messages.empty());
}

TEST_F(UpdateListTest, DownloadCutOrResetMidBodyFailsAndLeavesNoFile) {
    for (const wchar_t* path : {L"__cut__/big.bin", L"__reset__/big.bin"}) {
        const std::wstring file = local_.file(L"cut.bin");
        recorder_.progress.clear();
        EXPECT_EQ(update::download_file(recorder_.handlers(), url(path).c_str(), file.c_str()), 0) << path;
        EXPECT_FALSE(wintest::file_exists(file)) << path;
        // Half the body did arrive and was counted before the break showed.
        EXPECT_FALSE(recorder_.progress.empty()) << path;
    }
    EXPECT_TRUE(requested("GET /__cut__/big.bin DidiZI/1.0"));
    EXPECT_TRUE(requested("GET /__reset__/big.bin DidiZI/1.0"));

    // A chunked body's end can't be checked: cut or whole, it is refused.
    for (const wchar_t* path : {L"__chunkcut__/big.bin", L"__chunked__/big.bin"}) {
        const std::wstring file = local_.file(L"chunks.bin");
        EXPECT_EQ(update::download_file({}, url(path).c_str(), file.c_str()), 0) << path;
        EXPECT_FALSE(wintest::file_exists(file)) << path;
    }
}

TEST_F(UpdateListTest, DownloadBeyondItsSizeLimitFailsAnnouncedOrNot) {
    const std::wstring file = local_.file(L"limited.bin");
    // The limit is the body's size exactly.
    ASSERT_EQ(update::download_file({}, url(L"__nolength__/big.bin").c_str(), file.c_str(), 200000), 1);
    EXPECT_EQ(read_file(file), served(L"big.bin"));
    for (const wchar_t* path : {L"big.bin", L"__nolength__/big.bin"}) {
        EXPECT_EQ(update::download_file({}, url(path).c_str(), file.c_str(), 199999), 0) << path;
        EXPECT_FALSE(wintest::file_exists(file)) << path;
    }
}

TEST_F(UpdateListTest, DownloadOverAnUndeletableFileFailsBeforeAskingTheServer) {
    const std::wstring file = local_.file(L"held.bin");
    ASSERT_TRUE(write_file(file, {9, 9}));
    support::UniqueHandle held(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_EQ(update::download_file(recorder_.handlers(), url(L"body6000.bin?held").c_str(), file.c_str()), 0);
    held.reset();
    EXPECT_EQ(read_file(file), (Bytes{9, 9}));
    EXPECT_FALSE(requested("?held"));
}

TEST_F(UpdateListTest, DownloadFailsWithoutAServerOrAPlaceForTheFile) {
    const std::wstring file = local_.file(L"none.bin");
    EXPECT_EQ(update::download_file({}, L"http://127.0.0.1:1/list.txt", file.c_str()), 0);
    EXPECT_EQ(update::download_file({}, L"not an address", file.c_str()), 0);
    EXPECT_EQ(update::download_file({}, L"ftp://127.0.0.1/list.txt", file.c_str()), 0);
    // An https:// address speaks TLS: the plain HTTP server can't answer it.
    std::wstring secure = url(L"body6000.bin?tls");
    secure.replace(0, 4, L"https");
    EXPECT_EQ(update::download_file({}, secure.c_str(), file.c_str()), 0);
    EXPECT_FALSE(wintest::file_exists(file));
    EXPECT_EQ(update::download_file({}, url(L"body6000.bin").c_str(), local_.file(L"no\\such\\folder.bin").c_str()), 0);
    EXPECT_EQ(update::download_file({}, nullptr, file.c_str()), 0);
    EXPECT_EQ(update::download_file({}, url(L"body6000.bin").c_str(), nullptr), 0);
}

// --- READTEXT ---------------------------------------------------------------

TEST_F(UpdateListTest, ReadTextDecodesFilesInEveryEncoding) {
    ASSERT_EQ(GetACP(), kChineseAnsi) << "run with LC_ALL=zh_CN.UTF-8 (CTest sets it)";
    const std::u16string expected = support::to_u16(kList);
    for (const wchar_t* name : {L"list_utf8_mark.txt", L"list_utf8.txt", L"list_ansi.txt"}) {
        update::READTEXT reader;
        ASSERT_TRUE(reader.Load(served_->file(name).c_str())) << name;
        EXPECT_EQ(std::u16string(reader.text()), expected) << name;
        EXPECT_EQ(reader.length(), static_cast<std::int32_t>(expected.size())) << name;
    }
    for (const wchar_t* name : {L"list_utf16le.txt", L"list_utf16be.txt"}) {
        update::READTEXT reader;
        ASSERT_TRUE(reader.Load(served_->file(name).c_str())) << name;
        EXPECT_EQ(std::u16string(reader.text()), expected) << name;
        // Half the byte count: the mark's place is counted.
        EXPECT_EQ(reader.length(), static_cast<std::int32_t>(expected.size() + 1)) << name;
    }
}

TEST_F(UpdateListTest, ReadTextOfMissingEmptyAndTakenFiles) {
    update::READTEXT reader;
    ASSERT_TRUE(reader.Load(served_->file(L"list_utf8.txt").c_str()));
    EXPECT_FALSE(reader.Load(local_.file(L"missing.txt").c_str()));
    EXPECT_EQ(reader.text(), nullptr);  // the earlier text is gone
    EXPECT_EQ(reader.length(), 0);
    EXPECT_EQ(reader.file_name().view(), local_.file(L"missing.txt"));

    // An empty file can't be mapped; the stream reads it.
    ASSERT_TRUE(reader.Load(served_->file(L"empty.bin").c_str()));
    ASSERT_NE(reader.text(), nullptr);
    EXPECT_EQ(reader.length(), 0);

    ASSERT_TRUE(reader.Load(served_->file(L"list_utf8.txt").c_str()));
    EXPECT_EQ(reader.take_text(), support::to_u16(kList));
    EXPECT_EQ(reader.text(), nullptr);
}

TEST_F(UpdateListTest, ReadTextReadsAFileSomeoneIsWritingThroughTheStream) {
    // Another writer keeps the file open: the shared-read open for the
    // mapping is refused, the stream (which shares writing) is not.
    const std::wstring file = local_.file(L"busy.txt");
    ASSERT_TRUE(write_file(file, encoded(L"<NAME=busy>", CP_UTF8)));
    support::UniqueHandle writer(CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);
    update::READTEXT reader;
    ASSERT_TRUE(reader.Load(file.c_str()));
    EXPECT_EQ(std::u16string(reader.text()), u"<NAME=busy>");

    // A file nobody else may open can't be read at all.
    support::UniqueHandle exclusive(CreateFileW(served_->file(L"list_utf8.txt").c_str(), GENERIC_READ, 0, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(exclusive);
    EXPECT_FALSE(reader.Load(served_->file(L"list_utf8.txt").c_str()));
}

// --- Attach and LoadList ----------------------------------------------------

TEST_F(UpdateListTest, AttachFindsTheSystemAndTemporaryDirectories) {
    update::UpdateEngineBase engine;
    ASSERT_EQ(engine.Attach(recorder_.handlers()), 1);
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(engine.system_directory().view(), std::wstring(system) + L"\\");
    EXPECT_EQ(engine.temp_directory().view(), local_.path() + L"\\");
    EXPECT_TRUE(recorder_.messages.empty());
    EXPECT_EQ(engine.handlers().user, &recorder_);
}

TEST_F(UpdateListTest, AttachFailsWhenTheTemporaryDirectoryIsTooLong) {
    const std::wstring too_long = L"C:\\" + std::wstring(300, L't');
    wintest::ScopedVariable tmp(L"TMP", too_long.c_str());
    update::UpdateEngineBase engine;
    EXPECT_EQ(engine.Attach(recorder_.handlers()), 0);
    EXPECT_EQ(recorder_.messages, std::vector<std::wstring>{L"获取系统临时路径失败"});
    EXPECT_TRUE(recorder_.messages_with_zero);
}

TEST_F(UpdateListTest, LoadListReadsTheSameEntriesFromEveryEncoding) {
    ASSERT_EQ(GetACP(), kChineseAnsi) << "run with LC_ALL=zh_CN.UTF-8 (CTest sets it)";
    for (const wchar_t* name :
         {L"list_utf8_mark.txt", L"list_utf8.txt", L"list_utf16le.txt", L"list_utf16be.txt", L"list_ansi.txt"}) {
        update::UpdateEngineBase engine;
        ASSERT_EQ(engine.Attach(recorder_.handlers()), 1);
        engine.LoadList(url(name).c_str());
        const auto& list = engine.server_list();
        ASSERT_EQ(list.size(), 2u) << name;
        EXPECT_EQ(list[0]->type, update::kItemCodeTableDriver) << name;
        EXPECT_EQ(std::u16string(list[0]->name), u"五笔") << name;
        EXPECT_EQ(list[0]->new_version, make_version(2, 5, 0, 1153)) << name;
        EXPECT_EQ(std::u16string(list[0]->package_address), u"http://127.0.0.1/_supports/wubi.cab") << name;
        EXPECT_EQ(list[1]->type, update::kItemSkinDriver) << name;
        EXPECT_EQ(std::u16string(list[1]->name), u"码表") << name;
        EXPECT_EQ(list[1]->new_version, make_version(1, 0, 0, 7)) << name;
        EXPECT_EQ(std::u16string(list[1]->path), u"C:\\skin") << name;
        // The list stays in the temporary directory, as downloaded.
        EXPECT_EQ(read_file(local_.file(L"_zzime_update_list.txt")), served(name)) << name;
    }
    EXPECT_TRUE(recorder_.messages.empty());
}

TEST_F(UpdateListTest, LoadListAppendsListAfterListAndPostsUnknownKeys) {
    update::UpdateEngineBase engine;
    ASSERT_EQ(engine.Attach(recorder_.handlers()), 1);
    engine.LoadList(url(L"list_utf8.txt").c_str());
    engine.LoadList(url(L"list_unknown.txt").c_str());
    engine.LoadList(url(L"list_second.txt").c_str());
    const auto& list = engine.server_list();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0]->type, update::kItemCodeTableDriver);
    EXPECT_EQ(list[1]->type, update::kItemSkinDriver);
    EXPECT_EQ(list[2]->type, update::kItemGeneratorUpdate);
    EXPECT_EQ(std::u16string(list[2]->name), u"gen");
    EXPECT_EQ(list[2]->new_version, make_version(3, 0, 0, 0));
    EXPECT_EQ(list[3]->type, update::kItemConfigProgram);
    EXPECT_EQ(recorder_.messages, std::vector<std::wstring>(2, L"未知的更新标识！"));
    EXPECT_TRUE(recorder_.messages_with_zero);
}

TEST_F(UpdateListTest, LoadListOfAMissingOrCutListAddsNothingAndSaysWhichAddress) {
    update::UpdateEngineBase engine;
    ASSERT_EQ(engine.Attach(recorder_.handlers()), 1);
    engine.LoadList(url(L"list_utf8.txt").c_str());
    ASSERT_EQ(engine.server_list().size(), 2u);

    const std::wstring missing = url(L"_supports/zzime_drives/UpdateList.txt");
    engine.LoadList(missing.c_str());
    // A list cut off mid-way is not read in part.
    const std::wstring cut = url(L"__cut__/list_utf8.txt");
    engine.LoadList(cut.c_str());
    EXPECT_EQ(engine.server_list().size(), 2u);
    EXPECT_EQ(recorder_.messages, (std::vector<std::wstring>{L"无法访问的URL：" + missing, L"无法访问的URL：" + cut}));
    // The last list file went with the failed download.
    EXPECT_FALSE(wintest::file_exists(local_.file(L"_zzime_update_list.txt")));
}

TEST_F(UpdateListTest, LoadListCutsTheMessageOfALongAddress) {
    update::UpdateEngineBase engine;
    ASSERT_EQ(engine.Attach(recorder_.handlers()), 1);
    const std::wstring address = url(L"missing/" + std::wstring(300, L'a') + L".txt");
    engine.LoadList(address.c_str());
    ASSERT_EQ(recorder_.messages.size(), 1u);
    EXPECT_EQ(recorder_.messages[0], (L"无法访问的URL：" + address).substr(0, 255));
    EXPECT_TRUE(engine.server_list().empty());
}

TEST_F(UpdateListTest, LoadListWithoutHandlersStaysQuiet) {
    update::UpdateEngineBase engine;
    ASSERT_EQ(engine.Attach({}), 1);
    engine.LoadList(url(L"no_such_list.txt").c_str());
    engine.LoadList(url(L"list_unknown.txt").c_str());
    ASSERT_EQ(engine.server_list().size(), 1u);
    EXPECT_EQ(engine.server_list()[0]->type, update::kItemGeneratorUpdate);
}

}  // namespace
