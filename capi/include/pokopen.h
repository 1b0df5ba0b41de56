/*
 * libpokopen: rewrites Japanese text into character speech, the conversion
 * of the ぽこぺん window and of pokopen-convert, for any program.
 *
 * Six styles: the persona language ぽこる語 of ぽこりゅん in three variants, and
 * three character dialects whose sentences end in にゅ, にょ and ぴょ. Texts are
 * UTF-8 (or UTF-16 in the *_utf16 functions); files and byte buffers in any
 * encoding that the window reads are decoded with the same detection.
 *
 * Conventions of every function:
 * - The result is a pokopen_status: POKOPEN_OK, or an error code. Nothing is
 *   thrown, nothing aborts or exits, whatever the arguments; a NULL where a
 *   pointer is needed, an unknown style, unknown flag bits or an unknown
 *   encoding give POKOPEN_ERROR_ARGUMENT, and running out of memory gives
 *   POKOPEN_ERROR_NO_MEMORY.
 * - `error` may be NULL. Otherwise it is filled on every call: its code is the
 *   result, and on failure it tells where and why (see pokopen_error).
 * - Results are allocated by the library and belong to the caller, who frees
 *   each with pokopen_free. A text result is followed by a NUL that its length
 *   does not count. On failure every result pointer is set to NULL and every
 *   length to 0.
 * - Line breaks: in text given to convert and encode, LF, CR LF and a lone CR
 *   each end a line (a lone LF does not with POKOPEN_LF_IN_LINE). The results
 *   write every line break as LF, or as CR LF when POKOPEN_CRLF is among the
 *   flags (or options). Decoding leaves line breaks as the bytes have them.
 * - Thread safety: every function is reentrant and may be called from any
 *   number of threads at once. A pokopen_converter is used by one thread at a
 *   time (different converters in different threads are fine).
 */
#ifndef POKOPEN_H
#define POKOPEN_H

#include <stddef.h>
#include <stdint.h>

#define POKOPEN_VERSION_MAJOR 1
#define POKOPEN_VERSION_MINOR 0
#define POKOPEN_VERSION_PATCH 2000
#define POKOPEN_VERSION_STRING "1.0.2000"
/* major * 1000000 + minor * 10000 + patch: 1002000 for 1.0.2000. */
#define POKOPEN_VERSION_NUMBER \
  (POKOPEN_VERSION_MAJOR * 1000000L + POKOPEN_VERSION_MINOR * 10000L + POKOPEN_VERSION_PATCH)

#if defined(__GNUC__)
#define POKOPEN_API __attribute__((visibility("default")))
#else
#define POKOPEN_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The six styles, numbered as the window's Options menu lists them. */
typedef enum pokopen_style {
  POKOPEN_STYLE_STANDARD = 0, /* 標準ぽこる語 */
  POKOPEN_STYLE_CHEERFUL = 1, /* 元気なぽこる語 */
  POKOPEN_STYLE_TROUBLED = 2, /* お悩みぽこる語 */
  POKOPEN_STYLE_NYU = 3,      /* ぷちこにゅ */
  POKOPEN_STYLE_NYO = 4,      /* でじこにょ */
  POKOPEN_STYLE_PYO = 5       /* ぴよこぴょ */
} pokopen_style;

/* The four conversion flags; the dialects (styles 3 to 5) read only
 * POKOPEN_FORCE. */
#define POKOPEN_POKORU 0x1u /* "ぽこる"も変換: the persona's name as well */
#define POKOPEN_FIRST 0x2u  /* 一人称も変換: first-person words */
#define POKOPEN_SECOND 0x4u /* 二人称も変換: second-person words */
#define POKOPEN_FORCE 0x8u  /* 強引に変換: every sentence ending */
/* The window's choice at start: first- and second-person words. */
#define POKOPEN_DEFAULT_FLAGS (POKOPEN_FIRST | POKOPEN_SECOND)
/* Not a conversion flag: results end their lines with CR LF instead of LF. */
#define POKOPEN_CRLF 0x100u
/* Not a conversion flag, and an option of encode and write_text: a lone LF
 * does not end a line but stays inside it as a character, as in code page 932
 * files (pokopen_decode finding CP932), where the window and pokopen-convert
 * end lines only at CR LF and a lone CR. Converting such a text with
 * POKOPEN_CRLF | POKOPEN_LF_IN_LINE and encoding the result with
 * POKOPEN_LF_IN_LINE (and POKOPEN_CRLF or not) writes what pokopen-convert
 * writes for the file. */
#define POKOPEN_LF_IN_LINE 0x200u

/* Encodings of bytes. */
typedef enum pokopen_encoding {
  /* Reading only: detected as the window and pokopen-convert detect it. */
  POKOPEN_ENCODING_AUTO = 0,
  /* A UTF-8 byte-order mark is skipped when read and never written. */
  POKOPEN_ENCODING_UTF8 = 1,
  /* Reading: the byte-order mark tells the order and must be there.
   * Writing: little-endian after a byte-order mark. */
  POKOPEN_ENCODING_UTF16 = 2,
  /* A given order: a byte-order mark of that order is skipped when read;
   * none is written. */
  POKOPEN_ENCODING_UTF16LE = 3,
  POKOPEN_ENCODING_UTF16BE = 4,
  /* Windows code page 932 (Shift_JIS as Windows maps it; U+FF5E is 0x81 0x60). */
  POKOPEN_ENCODING_CP932 = 5
} pokopen_encoding;

typedef enum pokopen_status {
  POKOPEN_OK = 0,
  /* A NULL where a pointer is needed, an unknown style, flag bit or encoding,
   * an encoding that cannot be used there, or a converter given both UTF-8
   * and UTF-16 text. */
  POKOPEN_ERROR_ARGUMENT = 1,
  POKOPEN_ERROR_NO_MEMORY = 2,
  /* The bytes stop being valid in `encoding` at `byte_offset`. When the
   * encoding was detected, it is the one the text most likely is, and
   * `guessed` is 1: naming another encoding may help. */
  POKOPEN_ERROR_INVALID_TEXT = 3,
  /* A NUL byte at `byte_offset`: not a text, or UTF-16 without a mark. */
  POKOPEN_ERROR_NUL_BYTE = 4,
  /* EUC-JP or ISO-2022-JP text, which is not read (iconv converts it). */
  POKOPEN_ERROR_EUC_JP = 5,
  POKOPEN_ERROR_ISO_2022_JP = 6,
  /* UTF-8 and code page 932 in one text, the second showing at `byte_offset`. */
  POKOPEN_ERROR_MIXED_ENCODINGS = 7,
  /* Bytes that read as neither UTF-8 nor Japanese code page 932 text. */
  POKOPEN_ERROR_NOT_JAPANESE = 8,
  /* UTF-16 was named, but there is no byte-order mark to tell the order. */
  POKOPEN_ERROR_NO_BYTE_ORDER_MARK = 9,
  /* `encoding` cannot hold the character `code_point` at `line`, `column`
   * (and `offset` in the text given); `count` such characters in all. */
  POKOPEN_ERROR_UNENCODABLE = 10,
  /* A device, pipe or socket where a regular file is needed (a folder is
   * POKOPEN_ERROR_SYSTEM with EISDIR). */
  POKOPEN_ERROR_NOT_REGULAR_FILE = 11,
  /* A system call failed with `system_errno`. */
  POKOPEN_ERROR_SYSTEM = 12
} pokopen_status;

/* Where and why a call failed. Fields that do not apply to the code are 0. */
typedef struct pokopen_error {
  pokopen_status code;
  /* INVALID_TEXT: the encoding the bytes are invalid in; UNENCODABLE: the
   * encoding being written, as it was named. */
  pokopen_encoding encoding;
  /* INVALID_TEXT: 1 when the encoding was detected, not named. */
  int guessed;
  /* SYSTEM: the errno value. */
  int system_errno;
  /* pokopen_write_text and file conversions: 1 when the fault is the
   * output's (writing), 0 when it is the input's. */
  int in_output;
  /* INVALID_TEXT, NUL_BYTE, MIXED_ENCODINGS, NOT_JAPANESE, EUC_JP,
   * ISO_2022_JP: the 0-based offset in the bytes read. */
  uint64_t byte_offset;
  /* UNENCODABLE, and INVALID_TEXT for UTF-8 text given to convert, push or
   * encode: the 0-based offset in the text given, in its own units (bytes of
   * UTF-8, 16-bit units of UTF-16), from the start of the text when it is
   * pushed in pieces. UINT64_MAX where no text was given: INVALID_TEXT in
   * bytes decoded or read, UNENCODABLE in a file converted. */
  uint64_t offset;
  /* UNENCODABLE: 1-based line and column (in characters) of the character;
   * CR LF, a lone CR and a lone LF each end a line. */
  uint64_t line;
  uint64_t column;
  /* UNENCODABLE: the character, and how many characters of the text the
   * encoding cannot hold. */
  uint32_t code_point;
  uint64_t count;
  /* A default message in English, UTF-8, ended by a NUL. */
  char message[256];
} pokopen_error;

/* The library's version, "1.0.2000", whatever the header it was built with. */
POKOPEN_API const char* pokopen_version(void);
/* The same as POKOPEN_VERSION_NUMBER of the library's own header. */
POKOPEN_API long pokopen_version_number(void);

/* A short stable name for a status, such as "ok" or "invalid_text"; "unknown"
 * for a value that is none of them. The string is static. */
POKOPEN_API const char* pokopen_status_name(pokopen_status status);

/* Frees a result of this library; NULL is allowed. */
POKOPEN_API void pokopen_free(void* memory);

/*
 * Converts a whole text in a style with flags (POKOPEN_POKORU, _FIRST,
 * _SECOND, _FORCE, and POKOPEN_CRLF for the result's line breaks). The text
 * is `length` bytes of UTF-8 (it may hold NUL characters); invalid UTF-8 is
 * POKOPEN_ERROR_INVALID_TEXT at its offset. On success *result holds the
 * converted UTF-8 text and *result_length its length.
 */
POKOPEN_API pokopen_status pokopen_convert(const char* text, size_t length, int style,
                                           unsigned flags, char** result, size_t* result_length,
                                           pokopen_error* error);

/* The same for UTF-16 text in 16-bit units of the machine's byte order. A
 * lone surrogate is carried through as it is. */
POKOPEN_API pokopen_status pokopen_convert_utf16(const uint16_t* text, size_t length, int style,
                                                 unsigned flags, uint16_t** result,
                                                 size_t* result_length, pokopen_error* error);

/*
 * A converter for a text that arrives in pieces: the results of every push
 * and of finish, joined, equal pokopen_convert of the whole text, however it
 * was cut (inside a character too). One converter takes UTF-8 (push, finish)
 * or UTF-16 (push_utf16, finish_utf16), not both in one text.
 */
typedef struct pokopen_converter pokopen_converter;

/* Makes a converter for a style and flags as pokopen_convert takes them. */
POKOPEN_API pokopen_status pokopen_converter_new(int style, unsigned flags,
                                                 pokopen_converter** converter,
                                                 pokopen_error* error);

/*
 * Takes the next `length` bytes of the text; *result gets the converted text
 * that they settle (possibly empty; units that may still be rewritten wait
 * for the next piece). Invalid UTF-8 is POKOPEN_ERROR_INVALID_TEXT at its
 * offset from the start of the text; the text is then dropped and the
 * converter starts a new one with the next push.
 */
POKOPEN_API pokopen_status pokopen_converter_push(pokopen_converter* converter, const char* bytes,
                                                  size_t length, char** result,
                                                  size_t* result_length, pokopen_error* error);

/* Ends the text and gives the rest of its conversion; the converter is then
 * ready for a new text. A character cut off at the end is invalid text. */
POKOPEN_API pokopen_status pokopen_converter_finish(pokopen_converter* converter, char** result,
                                                    size_t* result_length, pokopen_error* error);

/* The same for UTF-16 units. */
POKOPEN_API pokopen_status pokopen_converter_push_utf16(pokopen_converter* converter,
                                                        const uint16_t* units, size_t length,
                                                        uint16_t** result, size_t* result_length,
                                                        pokopen_error* error);
POKOPEN_API pokopen_status pokopen_converter_finish_utf16(pokopen_converter* converter,
                                                          uint16_t** result, size_t* result_length,
                                                          pokopen_error* error);

/* Frees a converter; NULL is allowed. */
POKOPEN_API void pokopen_converter_free(pokopen_converter* converter);

/*
 * Where a long UTF-8 text may be cut for converting its parts apart, in
 * parallel or on other machines: *cut gets the byte offset of the first line
 * start at or after `from` (the offset after a line break) at which converting
 * the text before it and the text after it apart, in `style` with `flags`,
 * gives the same as converting the whole text; `length` when there is none.
 * Only a few characters on either side of each line break are read.
 */
POKOPEN_API pokopen_status pokopen_next_safe_cut(const char* text, size_t length, size_t from,
                                                 int style, unsigned flags, size_t* cut,
                                                 pokopen_error* error);

/*
 * Decodes the bytes of a text file: with POKOPEN_ENCODING_AUTO, the encoding
 * is detected as the window and pokopen-convert detect it, and a text that
 * cannot be read safely is refused (INVALID_TEXT naming the likely encoding,
 * NUL_BYTE, EUC_JP, ISO_2022_JP, MIXED_ENCODINGS, NOT_JAPANESE); any other
 * encoding is read as named. A byte-order mark is dropped; line breaks are
 * left as they are. On success *text holds UTF-8 and, if `found` is not NULL,
 * *found the encoding read: UTF8, UTF16LE, UTF16BE or CP932 (AUTO on failure).
 */
POKOPEN_API pokopen_status pokopen_decode(const char* bytes, size_t length,
                                          pokopen_encoding encoding, char** text,
                                          size_t* text_length, pokopen_encoding* found,
                                          pokopen_error* error);

/* The same, giving UTF-16 units of the machine's byte order. */
POKOPEN_API pokopen_status pokopen_decode_utf16(const char* bytes, size_t length,
                                                pokopen_encoding encoding, uint16_t** text,
                                                size_t* text_length, pokopen_encoding* found,
                                                pokopen_error* error);

/*
 * Encodes a UTF-8 text into UTF-8, UTF-16 (the three forms) or code page 932,
 * every line break as LF, or as CR LF when `options` holds POKOPEN_CRLF. A
 * character the encoding cannot hold is POKOPEN_ERROR_UNENCODABLE: where the
 * first stands and how many there are. Code page 932 writes the look-alikes
 * other Japanese mappings use (U+301C, U+2016, U+2212, U+00A2, U+00A3,
 * U+00AC, U+2014) as its own characters and U+00A0 as a blank.
 */
POKOPEN_API pokopen_status pokopen_encode(const char* text, size_t length,
                                          pokopen_encoding encoding, unsigned options, char** bytes,
                                          size_t* bytes_length, pokopen_error* error);

/* The same from UTF-16 units; a lone surrogate is unencodable in any encoding. */
POKOPEN_API pokopen_status pokopen_encode_utf16(const uint16_t* text, size_t length,
                                                pokopen_encoding encoding, unsigned options,
                                                char** bytes, size_t* bytes_length,
                                                pokopen_error* error);

/*
 * Reads a whole text file as pokopen_decode decodes its bytes (the file must
 * be a regular file): *text gets UTF-8, *found (if not NULL) the encoding.
 */
POKOPEN_API pokopen_status pokopen_read_text(const char* path, pokopen_encoding encoding,
                                             char** text, size_t* text_length,
                                             pokopen_encoding* found, pokopen_error* error);

/* The same, giving UTF-16 units of the machine's byte order. */
POKOPEN_API pokopen_status pokopen_read_text_utf16(const char* path, pokopen_encoding encoding,
                                                   uint16_t** text, size_t* text_length,
                                                   pokopen_encoding* found, pokopen_error* error);

/*
 * Writes a UTF-8 text to a file as pokopen_encode encodes it, replacing the
 * file all at once: it is either as it was or wholly new, whatever happens
 * (a character the encoding cannot hold fails before anything is written).
 * The path names a regular file or a new one (a device, pipe or socket is
 * POKOPEN_ERROR_NOT_REGULAR_FILE). An existing file keeps its permissions; a
 * symbolic link stays a link.
 */
POKOPEN_API pokopen_status pokopen_write_text(const char* path, const char* text, size_t length,
                                              pokopen_encoding encoding, unsigned options,
                                              pokopen_error* error);

/* The same from UTF-16 units, as pokopen_encode_utf16 encodes them. */
POKOPEN_API pokopen_status pokopen_write_text_utf16(const char* path, const uint16_t* text,
                                                    size_t length, pokopen_encoding encoding,
                                                    unsigned options, pokopen_error* error);

/*
 * Converts a text file into another, as `pokopen-convert -o` does: the input
 * is read in `input_encoding` (AUTO detects it), converted across `jobs`
 * threads (0: one for each core) and written in `output_encoding` (UTF8 or
 * CP932; POKOPEN_CRLF among the flags for CR LF line ends). The output file
 * is replaced all at once when the whole text is converted, or left as it
 * was on any failure; output_path may name the input itself. A path naming a
 * descriptor (/dev/stdout, /proc/self/fd/N) is written through it.
 */
POKOPEN_API pokopen_status pokopen_convert_file(const char* input_path, const char* output_path,
                                                int style, unsigned flags,
                                                pokopen_encoding input_encoding,
                                                pokopen_encoding output_encoding, unsigned jobs,
                                                pokopen_error* error);

/*
 * The same from a descriptor to a descriptor, which both stay open: as
 * pokopen-convert writes standard output, nothing is written until 4 MiB of
 * the result are ready, so that a fault found early leaves the output
 * untouched; a fault found later leaves what was written before it.
 */
POKOPEN_API pokopen_status pokopen_convert_fd(int input_fd, int output_fd, int style,
                                              unsigned flags, pokopen_encoding input_encoding,
                                              pokopen_encoding output_encoding, unsigned jobs,
                                              pokopen_error* error);

#ifdef __cplusplus
}
#endif

#endif /* POKOPEN_H */
