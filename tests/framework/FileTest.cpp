#include "framework/File.h"

#include "tests/framework/TempFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class FileTest : public testing::Test {
protected:
    std::string WriteFile(const char* name, const std::string& content)
    {
        const std::string path = m_folder.Path(name);
        CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite);
        file.Write(content.data(), (UINT)content.size());
        file.Close();
        return path;
    }

    std::string ReadAll(const std::string& path)
    {
        CFile file(path.c_str(), CFile::modeRead | CFile::shareDenyWrite);
        std::string content(file.GetLength(), '\0');
        EXPECT_EQ(content.size(), file.Read(content.data(), (UINT)content.size()));
        return content;
    }

    // The cause of the CFileException* that action throws, or -1 when it throws none.
    template <class Action>
    static int CauseOf(Action action, CString* fileName = nullptr)
    {
        int cause = -1;
        try {
            action();
        } catch (CFileException* e) {
            cause = e->m_cause;
            if (fileName)
                *fileName = e->m_strFileName;
            e->Delete();
        }
        return cause;
    }

    CTempFolder m_folder;
};

TEST_F(FileTest, WriteSeekReadRoundTrip)
{
    const std::string path = m_folder.Path("data.bin");
    CFile file;
    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeReadWrite));
    EXPECT_NE(CFile::hFileNull, file.m_hFile);
    EXPECT_STREQ("data.bin", file.GetFileName());
    EXPECT_STREQ("data", file.GetFileTitle());
    EXPECT_EQ(0, CString(path.c_str()).CompareNoCase(file.GetFilePath()));

    const char bytes[] = "0123456789";
    file.Write(bytes, 10);
    EXPECT_EQ(10u, file.GetLength());
    EXPECT_EQ(10u, file.GetPosition());
    EXPECT_EQ(4, file.Seek(4, CFile::begin));
    char chunk[4] = {};
    EXPECT_EQ(3u, file.Read(chunk, 3));
    EXPECT_STREQ("456", chunk);
    EXPECT_EQ(8, file.Seek(-2, CFile::end));
    file.Write("xy", 2);
    EXPECT_EQ(10u, file.SeekToEnd());
    EXPECT_EQ(0u, file.Read(chunk, 3));   // at the end: nothing, no exception
    file.SeekToBegin();
    char all[11] = {};
    EXPECT_EQ(10u, file.Read(all, 20));
    EXPECT_STREQ("01234567xy", all);
    file.SetLength(3);
    EXPECT_EQ(3u, file.GetLength());
    file.Close();
    EXPECT_EQ(CFile::hFileNull, file.m_hFile);
}

TEST_F(FileTest, CreateTruncatesUnlessNoTruncate)
{
    const std::string path = WriteFile("keep.txt", "original");
    {
        CFile file(path.c_str(), CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite);
        file.SeekToEnd();
        file.Write("+more", 5);
    }
    EXPECT_EQ("original+more", ReadAll(path));
    {
        CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite);
    }
    EXPECT_EQ("", ReadAll(path));
    // modeNoTruncate also creates a missing file.
    const std::string fresh = m_folder.Path("fresh.txt");
    { CFile file(fresh.c_str(), CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite); }
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(fresh.c_str()));
}

struct OpenFailureCase {
    const char* name;   // relative to the temp folder
    UINT flags;
    int cause;
};

const OpenFailureCase kOpenFailures[] = {
    {"missing.dat", CFile::modeRead, CFileException::fileNotFound},
    {"no\\such\\dir\\x.dat", CFile::modeCreate | CFile::modeWrite, CFileException::badPath},
};

TEST_F(FileTest, OpenFailureReportsCauseAndName)
{
    for (const OpenFailureCase& c : kOpenFailures) {
        const std::string path = m_folder.Path(c.name);
        SCOPED_TRACE(path);
        CFile file;
        CFileException error;
        EXPECT_FALSE(file.Open(path.c_str(), c.flags, &error));
        EXPECT_EQ(CFile::hFileNull, file.m_hFile);
        EXPECT_EQ(c.cause, error.m_cause);
        EXPECT_NE(0, error.m_lOsError);
        EXPECT_STREQ(path.c_str(), error.m_strFileName);

        CString thrownName;
        EXPECT_EQ(error.m_cause, CauseOf([&] { CFile thrown(path.c_str(), c.flags); }, &thrownName));
        EXPECT_STREQ(path.c_str(), thrownName);
    }
}

TEST_F(FileTest, ShareModesRefuseConflictingOpen)
{
    const std::string path = WriteFile("shared.dat", "x");
    CFile exclusive(path.c_str(), CFile::modeRead | CFile::shareExclusive);
    CFile second;
    CFileException error;
    EXPECT_FALSE(second.Open(path.c_str(), CFile::modeRead | CFile::shareDenyNone, &error));
    EXPECT_EQ(CFileException::sharingViolation, error.m_cause);
    exclusive.Close();

    CFile reader(path.c_str(), CFile::modeRead | CFile::shareDenyNone);
    EXPECT_TRUE(second.Open(path.c_str(), CFile::modeRead | CFile::shareDenyNone));
}

TEST_F(FileTest, WriteFailureThrowsWithCause)
{
    const std::string path = WriteFile("readonly.dat", "abc");
    CFile file(path.c_str(), CFile::modeRead);
    CString name;
    EXPECT_EQ(CFileException::accessDenied, CauseOf([&] { file.Write("x", 1); }, &name));
    EXPECT_EQ(0, name.CompareNoCase(path.c_str()));
    // The failed write left the file as it was.
    file.Close();
    EXPECT_EQ("abc", ReadAll(path));

    CStdioFile stream(path.c_str(), CFile::modeRead | CFile::typeText);
    EXPECT_EQ(CFileException::accessDenied, CauseOf([&] { stream.WriteString("more\n"); stream.Flush(); }));
}

TEST_F(FileTest, SeekBeforeStartThrowsBadSeek)
{
    const std::string path = WriteFile("seek.dat", "abc");
    CFile file(path.c_str(), CFile::modeRead);
    EXPECT_EQ(CFileException::badSeek, CauseOf([&] { file.Seek(-10, CFile::begin); }));
}

TEST_F(FileTest, RemoveAndRename)
{
    const std::string from = WriteFile("from.dat", "abc");
    const std::string to = m_folder.Path("to.dat");
    CFile::Rename(from.c_str(), to.c_str());
    EXPECT_EQ("abc", ReadAll(to));
    EXPECT_EQ(CFileException::fileNotFound, CauseOf([&] { CFile::Rename(from.c_str(), to.c_str()); }));
    CFile::Remove(to.c_str());
    CString name;
    EXPECT_EQ(CFileException::fileNotFound, CauseOf([&] { CFile::Remove(to.c_str()); }, &name));
    EXPECT_STREQ(to.c_str(), name);
}

TEST_F(FileTest, TryCatchMacrosCarryTheException)
{
    int cause = -1;
    TRY
    {
        CFile file(m_folder.Path("absent.dat").c_str(), CFile::modeRead);
    }
    CATCH(CMemoryException, e)
    {
        cause = -2;
    }
    AND_CATCH(CFileException, e)
    {
        EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(CException)));
        cause = e->m_cause;
    }
    END_CATCH
    EXPECT_EQ(CFileException::fileNotFound, cause);

    // THROW_LAST hands the same object to the outer handler, which then owns it.
    CException* rethrown = nullptr;
    try {
        TRY
        {
            AfxThrowFileException(CFileException::diskFull, -1, "x");
        }
        CATCH_ALL(e)
        {
            rethrown = e;
            THROW_LAST();
        }
        END_CATCH_ALL
    } catch (CException* outer) {
        EXPECT_EQ(rethrown, outer);
        EXPECT_EQ(CFileException::diskFull, static_cast<CFileException*>(outer)->m_cause);
        outer->Delete();
    }
    EXPECT_NE(nullptr, rethrown);
}

TEST_F(FileTest, OsErrorMapping)
{
    struct {
        LONG osError;
        int cause;
    } const cases[] = {
        {ERROR_FILE_NOT_FOUND, CFileException::fileNotFound},
        {ERROR_PATH_NOT_FOUND, CFileException::badPath},
        {ERROR_ACCESS_DENIED, CFileException::accessDenied},
        {ERROR_SHARING_VIOLATION, CFileException::sharingViolation},
        {ERROR_LOCK_VIOLATION, CFileException::lockViolation},
        {ERROR_DISK_FULL, CFileException::diskFull},
        {ERROR_HANDLE_EOF, CFileException::endOfFile},
        {ERROR_TOO_MANY_OPEN_FILES, CFileException::tooManyOpenFiles},
        {ERROR_NEGATIVE_SEEK, CFileException::badSeek},
        {ERROR_CRC, CFileException::hardIO},
        {NO_ERROR, CFileException::none},
        {ERROR_OUTOFMEMORY, CFileException::generic},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.cause, CFileException::OsErrorToException(c.osError)) << c.osError;
}

TEST_F(FileTest, StdioReadStringSplitsLines)
{
    std::string longLine(1000, 'L');
    const std::string path = WriteFile("lines.txt", "first\r\nsecond\n\r\n" + longLine + "\r\nlast");

    CStdioFile file(path.c_str(), CFile::modeRead | CFile::typeText);
    CString line;
    const char* expected[] = {"first", "second", "", longLine.c_str(), "last"};
    for (const char* text : expected) {
        ASSERT_TRUE(file.ReadString(line));
        EXPECT_STREQ(text, line);
    }
    EXPECT_FALSE(file.ReadString(line));
    EXPECT_TRUE(line.IsEmpty());

    // The buffer form keeps the newline and stops at the buffer size.
    file.SeekToBegin();
    char buffer[4];
    ASSERT_NE(nullptr, file.ReadString(buffer, sizeof buffer));
    EXPECT_STREQ("fir", buffer);
    char rest[16];
    ASSERT_NE(nullptr, file.ReadString(rest, sizeof rest));
    EXPECT_STREQ("st\n", rest);
}

TEST_F(FileTest, StdioWriteStringUsesTextLineEnds)
{
    const std::string path = m_folder.Path("out.txt");
    {
        CStdioFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeText);
        file.WriteString("one\n");
        file.WriteString("two\n");
    }
    EXPECT_EQ("one\r\ntwo\r\n", ReadAll(path));
    {
        CStdioFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary);
        file.WriteString("raw\n");
    }
    EXPECT_EQ("raw\n", ReadAll(path));
}

}  // namespace
