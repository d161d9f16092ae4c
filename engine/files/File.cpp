#include "files/File.h"

#include "core/Error.h"
#include "core/Memory.h"
#include "pc/PcFile.h"
#include "pc/PcSystem.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace
{
bzFileHandle gHandles[BZ_FILE_MAX_OPEN];

// Four path buffers: drive, directory, extension and one shared by the other results.
char gDriveBuffer[BZ_FILE_PATH_SIZE];
char gDirectoryBuffer[BZ_FILE_PATH_SIZE];
char gExtensionBuffer[BZ_FILE_PATH_SIZE];
char gPathBuffer[BZ_FILE_PATH_SIZE];

int32_t gUserWord;
int32_t gAltBufferSwitch;
char gAltBuffer[BZ_FILE_PATH_SIZE];

std::FILE *StreamOf(bzFileHandle *file)
{
    return file ? file->stream : nullptr;
}

int32_t ClampLength(int32_t length)
{
    return length < 0 ? 0 : length;
}

// Positions wrap like the 32-bit words they are, without overflowing a signed type.
int32_t AddToPosition(int32_t position, size_t bytes)
{
    return static_cast<int32_t>(static_cast<uint32_t>(position) + static_cast<uint32_t>(bytes));
}

// --- default handlers: the disk through the standard I/O library ----------------------------

bzFileHandle *Default_fopen(const char *name, const char *mode)
{
    std::FILE *stream = PDFileOpen(name, mode);
    if (!stream)
        return nullptr;
    bzFileHandle *file = bz_FileHandle_Alloc();
    if (!file)
    {
        std::fclose(stream);
        return nullptr;
    }
    file->stream = stream;
    file->length = ClampLength(PDFileStreamLength(stream));
    file->inUse = 1;
    file->position = 0;
    file->archiveEntry = nullptr;
    file->enciphered = 0;
    return file;
}

bzFileHandle *Default_freopen(const char *name, const char *mode, bzFileHandle *file)
{
    if (!file || !file->stream)
        return nullptr;
    std::FILE *stream = PDFileReopen(name, mode, file->stream);
    if (!stream)
    {
        // The library closes the old stream even when the reopen fails; the handle keeps
        // no dangling stream, and a later close of it is harmless.
        file->stream = nullptr;
        return nullptr;
    }
    file->stream = stream;
    file->position = 0;
    return file;
}

int Default_fclose(bzFileHandle *file)
{
    if (!file)
        return EOF;
    file->inUse = 0;
    std::FILE *stream = file->stream;
    file->stream = nullptr;
    return stream ? std::fclose(stream) : 0;
}

int Default_fflush(bzFileHandle *file)
{
    std::FILE *stream = StreamOf(file);
    return stream ? std::fflush(stream) : EOF;
}

int Default_remove(const char *name)
{
    return PDFileRemove(name);
}

int Default_rename(const char *oldName, const char *newName)
{
    return PDFileRename(oldName, newName);
}

bzFileHandle *Default_tmpfile()
{
    bzFileHandle *file = bz_FileHandle_Alloc();
    if (!file)
        return nullptr;
    std::FILE *stream = PDFileTemp();
    if (!stream)
        return nullptr;
    file->stream = stream;
    file->length = 0;
    file->inUse = 1;
    file->position = 0;
    return file;
}

char *Default_tmpnam(char *buffer)
{
    return PDFileTempName(buffer);
}

int Default_setvbuf(bzFileHandle *file, char *buffer, int mode, size_t size)
{
    std::FILE *stream = StreamOf(file);
    return stream ? std::setvbuf(stream, buffer, mode, size) : EOF;
}

void Default_setbuf(bzFileHandle *file, char *buffer)
{
    if (std::FILE *stream = StreamOf(file))
        std::setbuf(stream, buffer);
}

int Default_fgetc(bzFileHandle *file)
{
    std::FILE *stream = StreamOf(file);
    return stream ? std::fgetc(stream) : EOF;
}

char *Default_fgets(char *buffer, int count, bzFileHandle *file)
{
    std::FILE *stream = StreamOf(file);
    return stream && buffer ? std::fgets(buffer, count, stream) : nullptr;
}

int Default_fputc(int character, bzFileHandle *file)
{
    std::FILE *stream = StreamOf(file);
    return stream ? std::fputc(character, stream) : EOF;
}

int Default_fputs(const char *text, bzFileHandle *file)
{
    std::FILE *stream = StreamOf(file);
    return stream && text ? std::fputs(text, stream) : EOF;
}

int Default_getc(bzFileHandle *file)
{
    std::FILE *stream = StreamOf(file);
    return stream ? std::getc(stream) : EOF;
}

int Default_getchar()
{
    return std::getchar();
}

// Reads one line of the console into buffer without its newline. The caller's buffer has no
// stated size, so at most BZ_FILE_PATH_SIZE - 1 characters are kept and the rest of a longer
// line is dropped.
char *Default_gets(char *buffer)
{
    if (!buffer)
        return nullptr;
    int c = std::getchar();
    if (c == EOF)
        return nullptr;
    int n = 0;
    while (c != EOF && c != '\n')
    {
        if (n < BZ_FILE_PATH_SIZE - 1)
            buffer[n++] = static_cast<char>(c);
        c = std::getchar();
    }
    buffer[n] = 0;
    return buffer;
}

int Default_putc(int character, bzFileHandle *file)
{
    std::FILE *stream = StreamOf(file);
    return stream ? std::putc(character, stream) : EOF;
}

int Default_putchar(int character)
{
    return std::putchar(character);
}

int Default_puts(const char *text)
{
    return text ? std::puts(text) : EOF;
}

int Default_ungetc(int character, bzFileHandle *file)
{
    std::FILE *stream = StreamOf(file);
    return stream ? std::ungetc(character, stream) : EOF;
}

// The position advances by the bytes asked for, whatever the stream delivers.
size_t Default_fread(void *buffer, size_t size, size_t count, bzFileHandle *file)
{
    if (!file)
        return 0;
    file->position = AddToPosition(file->position, size * count);
    if (!file->stream || !buffer)
        return 0;
    return std::fread(buffer, size, count, file->stream);
}

// The write wrappers advance the position; this handler leaves it alone.
size_t Default_fwrite(const void *buffer, size_t size, size_t count, bzFileHandle *file)
{
    std::FILE *stream = StreamOf(file);
    return stream && buffer ? std::fwrite(buffer, size, count, stream) : 0;
}

// Origin 2 counts the offset back from the end. The position changes only when the stream
// moves, so after a refused seek tell and the next read still agree.
int Default_fseek(bzFileHandle *file, int32_t offset, int origin)
{
    if (!file)
        return -1;
    int32_t position;
    switch (origin)
    {
    case 0: position = offset; break;
    case 1: position = AddToPosition(file->position, static_cast<size_t>(offset)); break;
    case 2:
        position = static_cast<int32_t>(static_cast<uint32_t>(file->length) -
                                        static_cast<uint32_t>(offset));
        break;
    default: return -1;
    }
    if (!file->stream)
        return -1;
    int result = std::fseek(file->stream, position, SEEK_SET);
    if (result == 0)
        file->position = position;
    return result;
}

int32_t Default_ftell(bzFileHandle *file)
{
    return file ? file->position : -1;
}

void Default_rewind(bzFileHandle *file)
{
    if (!file)
        return;
    file->position = 0;
    if (file->stream)
        std::rewind(file->stream);
}

int Default_fgetpos(bzFileHandle *file, std::fpos_t *position)
{
    std::FILE *stream = StreamOf(file);
    return stream && position ? std::fgetpos(stream, position) : -1;
}

int Default_fsetpos(bzFileHandle *, const std::fpos_t *)
{
    BZ_SET_ORIGIN();
    bz_ReportError("file error", "Default_fsetpos obsolete.");
    return 0;
}

void Default_clearerr(bzFileHandle *file)
{
    if (std::FILE *stream = StreamOf(file))
        std::clearerr(stream);
}

int Default_feof(bzFileHandle *file)
{
    std::FILE *stream = StreamOf(file);
    return stream ? std::feof(stream) : 0;
}

int Default_ferror(bzFileHandle *file)
{
    std::FILE *stream = StreamOf(file);
    return stream ? std::ferror(stream) : 0;
}

int Default_mkdir(const char *path)
{
    return PDMakeDirectory(path);
}

int Default_chdir(const char *path)
{
    return PDChangeDirectory(path);
}

int Default_vfprintf(bzFileHandle *file, const char *format, va_list args)
{
    std::FILE *stream = StreamOf(file);
    return stream && format ? std::vfprintf(stream, format, args) : -1;
}

int Default_fscanf(bzFileHandle *, const char *, va_list)
{
    BZ_SET_ORIGIN();
    bz_ReportError("file error", "Default_fscanf obsolete.");
    return 0;
}

constexpr bzFileIOHandlers kDefaultHandlers = {
    Default_fopen,   Default_freopen, Default_fclose,  Default_fflush,   Default_remove,
    Default_rename,  Default_tmpfile, Default_tmpnam,  Default_setvbuf,  Default_setbuf,
    Default_fgetc,   Default_fgets,   Default_fputc,   Default_fputs,    Default_getc,
    Default_getchar, Default_gets,    Default_putc,    Default_putchar,  Default_puts,
    Default_ungetc,  Default_fread,   Default_fwrite,  Default_fseek,    Default_ftell,
    Default_rewind,  Default_fgetpos, Default_fsetpos, Default_clearerr, Default_feof,
    Default_ferror,  Default_mkdir,   Default_chdir,   Default_vfprintf, Default_fscanf,
};

// The table starts out with the disk handlers, so files work even before the engine start
// installs them.
bzFileIOHandlers gIO = kDefaultHandlers;

// Splits path into the four path buffers' worth of parts; name goes to the shared buffer.
void SplitInto(const char *path, char *drive, char *directory, char *name, char *extension)
{
    PDSplitPath(path, drive, directory, name, extension);
}

// out = a + b, cut to the path buffer's size.
void JoinInto(char (&out)[BZ_FILE_PATH_SIZE], const char *a, const char *b)
{
    size_t n = 0;
    for (const char *part : {a, b})
        for (const char *p = part; *p && n < sizeof out - 1; ++p)
            out[n++] = *p;
    out[n] = 0;
}

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}
} // namespace

// --- table management ----------------------------------------------------------------------

void bz_FileIO_InitDefaults()
{
    std::memset(gHandles, 0, sizeof gHandles);
    bz_FileIO_SetHandlers(&kDefaultHandlers);
}

void bz_FileIO_SetHandlers(const bzFileIOHandlers *record)
{
    if (!record)
        return;
    // The record is a run of 35 pointer slots; copy the non-null ones.
    using Slot = void (*)();
    Slot slots[BZ_FILE_HANDLER_SLOTS];
    Slot table[BZ_FILE_HANDLER_SLOTS];
    std::memcpy(slots, record, sizeof slots);
    std::memcpy(table, &gIO, sizeof table);
    for (int32_t i = 0; i < BZ_FILE_HANDLER_SLOTS; ++i)
        if (slots[i])
            table[i] = slots[i];
    std::memcpy(&gIO, table, sizeof table);
}

void bz_FileIO_GetHandlers(bzFileIOHandlers *record)
{
    if (record)
        *record = gIO;
}

bzFileHandle *bz_FileHandle_Alloc()
{
    for (bzFileHandle &file : gHandles)
    {
        if (!file.inUse)
        {
            file = bzFileHandle{};
            return &file;
        }
    }
    return nullptr;
}

bzFileHandle *bz_FileHandle_Get(int32_t index)
{
    return index >= 0 && index < BZ_FILE_MAX_OPEN ? &gHandles[index] : nullptr;
}

int32_t bz_FileIO_GetUserWord()
{
    return gUserWord;
}

void bz_FileIO_SetUserWord(int32_t value)
{
    gUserWord = value;
}

char *bz_FileIO_GetAltBuffer()
{
    return gAltBufferSwitch ? gAltBuffer : nullptr;
}

// --- engine file functions -----------------------------------------------------------------

bzFileHandle *bz_FileOpen(const char *name, const char *mode)
{
    bz_LoadingTick();
    return gIO.open(name, mode);
}

size_t bz_FileRead(bzFileHandle *file, void *buffer, size_t size)
{
    bz_LoadingTick();
    return gIO.read(buffer, size, 1, file) * size;
}

size_t bz_FileWrite(bzFileHandle *file, const void *buffer, size_t size)
{
    if (!file)
        return 0;
    file->position = AddToPosition(file->position, size);
    return gIO.write(buffer, size, 1, file) * size;
}

size_t bz_FileWriteItems(const void *buffer, size_t size, size_t count, bzFileHandle *file)
{
    if (!file)
        return 0;
    file->position = AddToPosition(file->position, size * count);
    return gIO.write(buffer, size, count, file);
}

size_t bz_FileReadItems(void *buffer, size_t size, size_t count, bzFileHandle *file)
{
    return gIO.read(buffer, size, count, file);
}

void *bz_LoadFileToMemory(const char *name, int32_t *outLength)
{
    bzFileHandle *file = bz_FileOpen(name, "rb");
    if (!file)
        return nullptr;
    int32_t length = file->length;
    if (length <= 0 || static_cast<uint32_t>(length) >= BZ_MEM_MAX_BLOCK)
    {
        bzgLastError = length <= 0 ? BZ_ERROR_FILE_NOT_FOUND : BZ_ERROR_NO_MEMORY;
        bz_FileClose(file);
        return nullptr;
    }
    auto *buffer = static_cast<uint8_t *>(bz_MemAlloc(static_cast<uint32_t>(length) + 1, 0));
    if (!buffer)
    {
        bzgLastError = BZ_ERROR_NO_MEMORY;
        bz_FileClose(file);
        return nullptr;
    }
    size_t got = bz_FileRead(file, buffer, static_cast<size_t>(length));
    bz_FileClose(file);
    // A file that delivers fewer bytes than its length (it shrank, or a read failed) gives
    // nothing rather than a block with undefined contents.
    if (got != static_cast<size_t>(length))
    {
        bz_MemFree(buffer);
        bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    buffer[length] = 0;
    if (outLength)
        *outLength = length;
    return buffer;
}

uint8_t *bz_LoadFileToTempStack(const char *name, int32_t stackId, uint32_t *outLength)
{
    bzFileHandle *file = name ? bz_FileOpen(name, "rb") : nullptr;
    if (!file)
    {
        bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    const int32_t length = file->length;
    if (length <= 0)
    {
        bz_FileClose(file);
        bzgLastError = BZ_ERROR_BAD_DATA_FORMAT;
        return nullptr;
    }
    auto *buffer =
        static_cast<uint8_t *>(bz_TempStack_Alloc(stackId, static_cast<uint32_t>(length), 0));
    if (!buffer)
    {
        bz_FileClose(file);
        bzgLastError = BZ_ERROR_NO_MEMORY;
        return nullptr;
    }
    const bool whole =
        bz_FileRead(file, buffer, static_cast<size_t>(length)) == static_cast<size_t>(length);
    bz_FileClose(file);
    if (!whole)
    {
        bz_TempStack_Free(stackId, buffer);
        bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    if (outLength)
        *outLength = static_cast<uint32_t>(length);
    return buffer;
}

int bz_FilePrintf(bzFileHandle *file, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int result = gIO.vprintf(file, format, args);
    va_end(args);
    return result;
}

int bz_FileVPrintf(bzFileHandle *file, const char *format, va_list args)
{
    return gIO.vprintf(file, format, args);
}

int bz_FileScanf(bzFileHandle *file, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int result = gIO.vscanf(file, format, args);
    va_end(args);
    return result;
}

int32_t bz_FileExists(const char *name)
{
    if (!name)
        return 0;
    bzFileHandle *file = bz_FileOpen(name, "r");
    if (!file)
        return 0;
    bz_FileClose(file);
    return 1;
}

int32_t bz_FileLength(const bzFileHandle *file)
{
    if (!file)
    {
        bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
        return 0;
    }
    return file->length;
}

int32_t bz_FileStreamLength(const bzFileHandle *file)
{
    if (!file)
    {
        bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
        return 0;
    }
    if (!file->stream)
        return file->length;
    return ClampLength(PDFileStreamLength(file->stream));
}

bzFileHandle *bz_FileOpenWithExt(const char *name, const char *extension, const char *mode)
{
    if (!name || !extension)
    {
        bzgLastError = BZ_ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    size_t length = std::strlen(name);
    if (length >= sizeof gDirectoryBuffer)
    {
        bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
        return nullptr;
    }
    char *path = gDirectoryBuffer;
    std::memcpy(path, name, length + 1);
    for (size_t i = length; i > 0; --i)
    {
        if (IsSeparator(path[i - 1]))
            break;
        if (path[i - 1] == '.')
        {
            path[i - 1] = 0;
            length = i - 1;
            break;
        }
    }
    size_t dot = extension[0] == '.' ? 0 : 1;
    if (length + dot + std::strlen(extension) >= sizeof gDirectoryBuffer)
    {
        bzgLastError = BZ_ERROR_PARAMETER_OUT_OF_RANGE;
        return nullptr;
    }
    if (dot)
        std::strcat(path, ".");
    std::strcat(path, extension);
    return bz_FileOpen(path, mode);
}

bzErrorCode bz_CopyFileRange(const char *source, const char *destination, int32_t offset,
                             int32_t count)
{
    bzFileHandle *in = bz_FileOpen(source, "rb");
    if (!in)
        return BZ_ERROR_FILE_NOT_FOUND;
    bzFileHandle *out = bz_FileOpen(destination, "wb");
    if (!out)
    {
        bz_FileClose(in);
        return BZ_ERROR_FILE_NOT_FOUND;
    }
    const int64_t length = in->length;
    if (offset < 0 || count < 0 || offset > length || count > length ||
        static_cast<int64_t>(offset) + count > length)
    {
        bz_FileClose(in);
        bz_FileClose(out);
        return BZ_ERROR_PARAMETER_OUT_OF_RANGE;
    }
    auto *buffer = static_cast<uint8_t *>(bz_MemAlloc(1024, BZ_MEM_CLEAR));
    if (!buffer)
    {
        bz_FileClose(in);
        bz_FileClose(out);
        return BZ_ERROR_NO_MEMORY;
    }
    bz_FileSeek(in, offset, 0);
    int64_t remaining = count ? count : length - offset;
    while (remaining > 0)
    {
        size_t chunk = remaining < 1024 ? static_cast<size_t>(remaining) : 1024;
        bz_FileRead(in, buffer, chunk);
        out->position = AddToPosition(out->position, chunk);
        gIO.write(buffer, chunk, 1, out);
        remaining -= 1024;
    }
    bz_MemFree(buffer);
    bz_FileClose(in);
    bz_FileClose(out);
    return BZ_ERROR_NONE;
}

// --- one-slot wrappers ---------------------------------------------------------------------

bzFileHandle *bz_FileReopen(const char *name, const char *mode, bzFileHandle *file)
{
    return gIO.reopen(name, mode, file);
}
int bz_FileClose(bzFileHandle *file)
{
    return gIO.close(file);
}
int bz_FileFlush(bzFileHandle *file)
{
    return gIO.flush(file);
}
int bz_FileRemove(const char *name)
{
    return gIO.remove(name);
}
int bz_FileDelete(const char *name)
{
    return gIO.remove(name);
}
int bz_FileRename(const char *oldName, const char *newName)
{
    return gIO.rename(oldName, newName);
}
bzFileHandle *bz_FileTemp()
{
    return gIO.tempFile();
}
char *bz_FileTempName(char *buffer)
{
    return gIO.tempName(buffer);
}
int bz_FileSetVBuf(bzFileHandle *file, char *buffer, int mode, size_t size)
{
    return gIO.setVBuf(file, buffer, mode, size);
}
void bz_FileSetBuf(bzFileHandle *file, char *buffer)
{
    gIO.setBuf(file, buffer);
}
int bz_FileGetChar(bzFileHandle *file)
{
    return gIO.getChar(file);
}
char *bz_FileGetString(char *buffer, int count, bzFileHandle *file)
{
    return gIO.getString(buffer, count, file);
}
int bz_FilePutChar(int character, bzFileHandle *file)
{
    return gIO.putChar(character, file);
}
int bz_FilePutString(const char *text, bzFileHandle *file)
{
    return gIO.putString(text, file);
}
int bz_FileGetc(bzFileHandle *file)
{
    return gIO.getCharMacro(file);
}
int bz_ConsoleGetChar()
{
    return gIO.consoleGetChar();
}
char *bz_ConsoleGetLine(char *buffer)
{
    return gIO.consoleGetLine(buffer);
}
int bz_FilePutc(int character, bzFileHandle *file)
{
    return gIO.putCharMacro(character, file);
}
int bz_ConsolePutChar(int character)
{
    return gIO.consolePutChar(character);
}
int bz_ConsolePutLine(const char *text)
{
    return gIO.consolePutLine(text);
}
int bz_FileUngetChar(int character, bzFileHandle *file)
{
    return gIO.ungetChar(character, file);
}
int bz_FileSeek(bzFileHandle *file, int32_t offset, int origin)
{
    return gIO.seek(file, offset, origin);
}
int bz_FileSetOffset(bzFileHandle *file, int32_t offset, int origin)
{
    return gIO.seek(file, offset, origin);
}
int32_t bz_FileTell(bzFileHandle *file)
{
    return gIO.tell(file);
}
int32_t bz_FileGetOffset(bzFileHandle *file)
{
    return gIO.tell(file);
}
void bz_FileRewind(bzFileHandle *file)
{
    gIO.rewind(file);
}
int bz_FileGetPos(bzFileHandle *file, std::fpos_t *position)
{
    return gIO.getPos(file, position);
}
int bz_FileSetPos(bzFileHandle *file, const std::fpos_t *position)
{
    return gIO.setPos(file, position);
}
void bz_FileClearError(bzFileHandle *file)
{
    gIO.clearError(file);
}
int bz_FileEof(bzFileHandle *file)
{
    return gIO.eof(file);
}
int bz_FileError(bzFileHandle *file)
{
    return gIO.error(file);
}
int bz_MakeDirectory(const char *path)
{
    return gIO.makeDirectory(path);
}
int bz_ChangeDirectory(const char *path)
{
    return gIO.changeDirectory(path);
}

// --- directory search ----------------------------------------------------------------------

const char *bz_FindNext()
{
    return PDFindNextFile(1, 1);
}

const char *bz_FindNextDirectory()
{
    return PDFindNextFile(0, 1);
}

const char *bz_FindNextFile()
{
    return PDFindNextFile(1, 0);
}

// --- path functions ------------------------------------------------------------------------

const char *bz_GetPathDrive(const char *path)
{
    SplitInto(path, gDriveBuffer, nullptr, nullptr, nullptr);
    return gDriveBuffer;
}

const char *bz_GetPathDirectory(const char *path)
{
    SplitInto(path, nullptr, gDirectoryBuffer, nullptr, nullptr);
    return gDirectoryBuffer;
}

const char *bz_GetPathFileName(const char *path)
{
    SplitInto(path, nullptr, nullptr, gPathBuffer, nullptr);
    return gPathBuffer;
}

const char *bz_MakePathDirName(const char *path)
{
    char directory[PD_MAX_PATH_PART];
    char name[PD_MAX_PATH_PART];
    SplitInto(path, nullptr, directory, name, nullptr);
    JoinInto(gPathBuffer, directory, name);
    return gPathBuffer;
}

const char *bz_GetPathFileNameExt(const char *path)
{
    char name[PD_MAX_PATH_PART];
    char extension[PD_MAX_PATH_PART];
    SplitInto(path, nullptr, nullptr, name, extension);
    JoinInto(gPathBuffer, name, extension);
    return gPathBuffer;
}

const char *bz_GetPathExt(const char *path)
{
    SplitInto(path, nullptr, nullptr, nullptr, gExtensionBuffer);
    return gExtensionBuffer;
}

void bz_StripExtension(char *path)
{
    if (!path)
        return;
    for (size_t i = std::strlen(path); i > 0; --i)
    {
        if (IsSeparator(path[i - 1]))
            return;
        if (path[i - 1] == '.')
        {
            if (i - 1 > 0)
                path[i - 1] = 0;
            return;
        }
    }
}

void bz_AppendBackslash(char *path)
{
    if (!path || !path[0])
        return;
    size_t length = std::strlen(path);
    if (path[length - 1] != '\\')
    {
        path[length] = '\\';
        path[length + 1] = 0;
    }
}

int32_t bz_CompareFileTimes(uint64_t a, uint64_t b)
{
    return PDCompareFileTimes(a, b);
}

uint64_t bz_GetFileTime(const char *name)
{
    return PDGetFileTime(name);
}

int32_t bz_SetFileReadOnly(const char *path, int32_t readOnly)
{
    return PDSetFileReadOnly(path, readOnly);
}
