// The device document in the document layer: opening through the template,
// the duplicate-ID rule, file errors, and saving by replacing the file.

#include "DevFileTestUtil.h"
#include "core/CDocManager.h"
#include "core/FileIo.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvex::test {
namespace {

const std::string kPumpFile = "PUMP1\t1\r\nHREG\tУставка\tSP\t0\tRW\t0-1000\t400\r\n";

// A device with one register; without an ID an empty file.
std::string DeviceFile(const std::string& id)
{
    return id.empty() ? "" : id + "\t1\r\nHREG\td\tR\t0\tRW\t0-9\t1\r\n";
}

TEST(DevDoc, AnotherDeviceWithTheSameIdIsDroppedSilently)
{
    struct
    {
        const char* why;
        std::string first;
        std::string second;
        bool secondOpens;
    } const cases[] = {
        { "the same ID", "P1", "P1", false },
        { "IDs differing in case are different", "P1", "p1", true },
        { "two devices without an ID", "", "", false },
        { "different IDs", "P1", "P2", true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        DevFileHarness h;
        CDevDoc* first = h.OpenBytes("a.kvxd", DeviceFile(c.first));
        ASSERT_NE(first, nullptr);
        CDevDoc* second = h.OpenBytes("b.kvxd", DeviceFile(c.second));
        EXPECT_EQ(second != nullptr, c.secondOpens);
        const std::size_t count = c.secondOpens ? 2 : 1;
        EXPECT_EQ(h.prj.GetDevTemplate().GetDocumentCount(), count);
        EXPECT_EQ(h.app.GetDevices().size(), count);
        EXPECT_EQ(h.app.FindDeviceById(c.first), first);
        EXPECT_TRUE(h.messages.empty()) << "no message for a dropped device";
        EXPECT_TRUE(h.lines.empty());
    }
}

TEST(DevDoc, RelativePathsAreResolvedAgainstTheBaseFolder)
{
    DevFileHarness h;
    h.dir.Write("a.kvxd", DeviceFile("A"));
    h.dir.Write("b.kvxd", DeviceFile("B"));
    h.prj.SetBaseDirProvider([&h] { return h.dir.Path(); });
    EXPECT_EQ(h.app.ResolvePath("a.kvxd"), h.dir.File("a.kvxd"));
    EXPECT_EQ(h.app.ResolvePath("/abs/x.kvxd"), "/abs/x.kvxd");

    CDevDoc* a = h.Open("a.kvxd");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->GetPathName(), h.dir.File("a.kvxd"));
    CDevDoc* b = h.Open("./b.kvxd");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->GetPathName(), h.dir.File("b.kvxd"));
    EXPECT_EQ(b->GetTitle(), "b.kvxd");
}

TEST(DevDoc, AFileThatCannotBeOpenedOrReadIsReportedAndDoesNotOpen)
{
    struct
    {
        const char* why;
        std::string name;
        std::string reason;
    } const cases[] = {
        // The system's reasons in Russian, like the messages around them.
        { "no such file", "missing.kvxd", "Нет такого файла или каталога" },
        { "no such folder", "missing/dev.kvxd", "Нет такого файла или каталога" },
        { "a folder in place of the file", "folder.kvxd", "Это каталог" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        DevFileHarness h;
        ASSERT_EQ(::mkdir(h.dir.File("folder.kvxd").c_str(), 0755), 0);
        EXPECT_EQ(h.Open(h.dir.File(c.name)), nullptr);
        EXPECT_EQ(h.prj.GetDevTemplate().GetDocumentCount(), 0u);
        EXPECT_TRUE(h.app.GetDevices().empty());
        ASSERT_EQ(h.messages.size(), 1u);
        EXPECT_NE(h.messages[0].find(h.dir.File(c.name)), std::string::npos) << h.messages[0];
        EXPECT_NE(h.messages[0].find(c.reason), std::string::npos) << h.messages[0];
        EXPECT_TRUE(h.lines.empty());
    }
}

TEST(DevDoc, WithoutAHandlerMessagesGoToStandardError)
{
    CoreHarness core;
    CPrjManager prj(core.app);
    testing::internal::CaptureStderr();
    EXPECT_EQ(prj.GetDevTemplate().OpenDocumentFile("/nonexistent-folder/x.kvxd"), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("/nonexistent-folder/x.kvxd"), std::string::npos) << err;
    EXPECT_NE(err.find(ErrorText(ENOENT)), std::string::npos) << err;
}

TEST(DevDoc, SavingWritesTheValuesAndClearsTheModifiedFlag)
{
    DevFileHarness h;
    const std::string path = h.dir.Write("pump.kvxd", kPumpFile);
    CDevDoc* doc = h.Open(path);
    ASSERT_NE(doc, nullptr);
    EXPECT_FALSE(doc->IsModified());
    doc->FindItem(HREG, 0)->SetValue(555);
    doc->SetModifiedFlag(true);

    ASSERT_TRUE(doc->Save());
    EXPECT_FALSE(doc->IsModified());
    EXPECT_TRUE(ReadBytes(path).ends_with("HREG\t\xD3\xF1\xF2\xE0\xE2\xEA\xE0\tSP\t0x0\tRW\t"
                                          "0x0-0x3E8\t0x22B\r\n"));
    EXPECT_EQ(h.dir.List(), std::vector<std::string>{ "pump.kvxd" }) << "no temporary file left";
    EXPECT_TRUE(h.messages.empty());
}

TEST(DevDoc, SavingKeepsPermissionsAndFollowsSymbolicLinks)
{
    DevFileHarness h;
    const std::string real = h.dir.Write("real.kvxd", kPumpFile);
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    const std::string link = h.dir.File("link.kvxd");
    ASSERT_EQ(::symlink("real.kvxd", link.c_str()), 0);

    CDevDoc* doc = h.Open(link);
    ASSERT_NE(doc, nullptr);
    doc->FindItem(HREG, 0)->SetValue(7);
    ASSERT_TRUE(doc->Save());

    struct stat st
    {
    };
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_TRUE(ReadBytes(real).ends_with("\t0x7\r\n"));
    EXPECT_EQ(h.dir.List(), (std::vector<std::string>{ "link.kvxd", "real.kvxd" }));
}

// Makes writes beyond a size fail with EFBIG for as long as it lives; works
// for root too, which a read-only folder does not stop.
class CFileSizeLimit
{
public:
    explicit CFileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_bSet = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~CFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool IsSet() const { return m_bSet; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int){ nullptr };
    bool m_bSet{ false };
};

TEST(DevDoc, AFailedSaveLeavesTheOldFileReportsAndStaysModified)
{
    enum class Failure
    {
        NoFolder,
        FolderInPlace,
        WriteFails,
    };
    struct
    {
        const char* why;
        Failure failure;
        int error;
    } const cases[] = {
        { "the folder does not exist", Failure::NoFolder, ENOENT },
        { "a folder stands in place of the file", Failure::FolderInPlace, EISDIR },
        { "writing the data fails", Failure::WriteFails, EFBIG },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        DevFileHarness h;
        const std::string path = h.dir.Write("pump.kvxd", kPumpFile);
        CDevDoc* doc = h.Open(path);
        ASSERT_NE(doc, nullptr);
        doc->FindItem(HREG, 0)->SetValue(1);
        doc->SetModifiedFlag(true);

        bool saved = true;
        std::string target = path;
        std::vector<std::string> entries = { "pump.kvxd" };
        switch (c.failure) {
        case Failure::NoFolder:
            target = h.dir.File("gone/pump.kvxd");
            saved = doc->DoSave(target);
            break;
        case Failure::FolderInPlace:
            ASSERT_EQ(::rename(path.c_str(), h.dir.File("moved.kvxd").c_str()), 0);
            ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
            saved = doc->Save();
            ASSERT_EQ(::rmdir(path.c_str()), 0);
            ASSERT_EQ(::rename(h.dir.File("moved.kvxd").c_str(), path.c_str()), 0);
            break;
        case Failure::WriteFails: {
            CFileSizeLimit limit(64);
            ASSERT_TRUE(limit.IsSet());
            saved = doc->Save();
            break;
        }
        }
        EXPECT_FALSE(saved);
        EXPECT_TRUE(doc->IsModified());
        EXPECT_EQ(doc->GetPathName(), path);
        EXPECT_EQ(ReadBytes(path), kPumpFile) << "the old file is as it was";
        EXPECT_EQ(h.dir.List(), entries) << "no temporary file left";
        ASSERT_EQ(h.messages.size(), 1u);
        EXPECT_NE(h.messages[0].find(target), std::string::npos) << h.messages[0];
        EXPECT_NE(h.messages[0].find(ErrorText(c.error)), std::string::npos) << h.messages[0];
    }
}

TEST(DevDoc, SaveWithoutAPathFails)
{
    DevFileHarness h;
    auto docOwner = h.NewDevice();
    CDevDoc& doc = *docOwner;
    doc.SetModifiedFlag(true);
    EXPECT_FALSE(doc.Save());
    EXPECT_TRUE(doc.IsModified());
}

TEST(DocTemplate, FramesComeBeforeTheFileAndGoBeforeTheDocument)
{
    DevFileHarness h;
    CRecordingFrames frames;
    h.prj.GetDevTemplate().SetFrames(&frames);
    h.dir.Write("a.kvxd", DeviceFile("A"));
    h.dir.Write("dup.kvxd", DeviceFile("A"));
    h.dir.Write("b.kvxd", DeviceFile("B"));

    CDevDoc* a = h.Open(h.dir.File("a.kvxd"));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(frames.events, (std::vector<std::string>{ "create", "shown R" }));
    EXPECT_NE(a->FindRow(HREG, 0), 0u);

    frames.events.clear();
    EXPECT_EQ(h.Open(h.dir.File("dup.kvxd")), nullptr);
    EXPECT_EQ(frames.events, (std::vector<std::string>{ "create", "shown R", "destroy dup.kvxd" }));

    frames.events.clear();
    EXPECT_EQ(h.prj.GetDevTemplate().OpenNewDocument(), nullptr) << "no empty device";
    EXPECT_EQ(frames.events, (std::vector<std::string>{ "create", "destroy " }));

    CDevDoc* b = h.Open(h.dir.File("b.kvxd"));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a->GetDocTemplate(), &h.prj.GetDevTemplate());
    EXPECT_EQ(h.prj.GetDevTemplate().GetDocuments(), (std::vector<CDocument*>{ a, b }));

    frames.events.clear();
    h.prj.GetDevTemplate().CloseDocument(a);
    EXPECT_EQ(frames.events, std::vector<std::string>{ "destroy a.kvxd" });
    EXPECT_EQ(h.app.GetDevices(), std::vector<CDevDoc*>{ b });
    EXPECT_EQ(h.app.FindDeviceById("A"), nullptr);
    h.app.CloseAllDocuments();
    EXPECT_TRUE(h.app.GetDevices().empty());
    h.prj.GetDevTemplate().SetFrames(nullptr);
}

TEST(DocManager, SaveAllSavesEveryModifiedDocumentAndOnlyThose)
{
    DevFileHarness h;
    const std::string a = h.dir.Write("a.kvxd", DeviceFile("A"));
    const std::string b = h.dir.Write("b.kvxd", DeviceFile("B"));
    const std::string c = h.dir.Write("c.kvxd", DeviceFile("C"));
    CDevDoc* docA = h.Open(a);
    CDevDoc* docB = h.Open(b);
    CDevDoc* docC = h.Open(c);
    ASSERT_TRUE(docA && docB && docC);
    EXPECT_FALSE(h.app.IsAnyModified());

    // B is not modified: its file, changed behind the program's back, stays.
    WriteBytes(b, DeviceFile("B") + "// mine\r\n");
    docA->FindItem(HREG, 0)->SetValue(3);
    docA->SetModifiedFlag(true);
    docC->SetModifiedFlag(true);
    // C's save fails (its folder is gone); the others are saved all the same.
    docC->SetPathName(h.dir.File("gone/c.kvxd"));
    EXPECT_TRUE(h.app.IsAnyModified());

    EXPECT_FALSE(h.app.SaveAllModified());
    EXPECT_FALSE(docA->IsModified());
    EXPECT_TRUE(ReadBytes(a).ends_with("\t0x3\r\n"));
    EXPECT_EQ(ReadBytes(b), DeviceFile("B") + "// mine\r\n");
    EXPECT_TRUE(docC->IsModified());
    EXPECT_EQ(h.messages.size(), 1u);
}

} // namespace
} // namespace korvex::test
