/*
 * pokopen._pokopen: the Python module over libpokopen's C interface.
 *
 * Texts cross as UTF-16, the engine's own form: a str whose characters all
 * lie below U+10000 (most Japanese text) is handed over without a copy, and
 * results are written straight into a new str. The interpreter lock is let go
 * for the conversion and for both copies when a text is long, so that threads
 * convert in parallel.
 */
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <pythread.h>

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pokopen.h>

/* Texts shorter than this are converted holding the lock: letting it go and
 * taking it back would cost more than the work. */
#define LONG_TEXT_UNITS 4096

static PyObject* style_type;  /* pokopen.Style */
static PyObject* DecodeError; /* pokopen.DecodeError */
static PyObject* EncodeError; /* pokopen.EncodeError */

static const char* const style_names[] = {"STANDARD", "CHEERFUL", "TROUBLED", "NYU", "NYO", "PYO"};
static const char* const style_labels[] = {"標準ぽこる語", "元気なぽこる語", "お悩みぽこる語",
                                           "ぷちこにゅ",   "でじこにょ",     "ぴよこぴょ"};
#define STYLE_COUNT 6

/* ---- Arguments ---------------------------------------------------------- */

/* A style: a Style member or its number, or a name as Style lists it (any
 * case) or the Japanese label. */
static int style_from(PyObject* value, int* style) {
  if (PyBool_Check(value)) {
    PyErr_SetString(PyExc_TypeError,
                    "style must be a pokopen.Style, a number 0 to 5 or a name, "
                    "not bool");
    return -1;
  }
  if (PyLong_Check(value)) {
    int overflow = 0;
    const long number = PyLong_AsLongAndOverflow(value, &overflow);
    if (number == -1 && PyErr_Occurred()) {
      return -1;
    }
    if (overflow != 0 || number < 0 || number >= STYLE_COUNT) {
      PyErr_Format(PyExc_ValueError, "style must be 0 to 5, not %R", value);
      return -1;
    }
    *style = (int)number;
    return 0;
  }
  if (PyUnicode_Check(value)) {
    PyObject* upper = PyObject_CallMethod(value, "upper", NULL);
    const char* given = PyUnicode_AsUTF8(value);
    const char* given_upper = upper != NULL ? PyUnicode_AsUTF8(upper) : NULL;
    if (given == NULL || given_upper == NULL) {
      Py_XDECREF(upper);
      return -1;
    }
    for (int i = 0; i < STYLE_COUNT; ++i) {
      if (strcmp(given_upper, style_names[i]) == 0 || strcmp(given, style_labels[i]) == 0) {
        Py_DECREF(upper);
        *style = i;
        return 0;
      }
    }
    Py_DECREF(upper);
    PyErr_Format(PyExc_ValueError,
                 "unknown style %R: STANDARD, CHEERFUL, TROUBLED, NYU, NYO or PYO", value);
    return -1;
  }
  PyErr_Format(PyExc_TypeError, "style must be a pokopen.Style, a number 0 to 5 or a name, not %s",
               Py_TYPE(value)->tp_name);
  return -1;
}

/* A flag: True or False (or 1 or 0). Anything else is refused rather than
 * judged by its truth, so that force="no" cannot mean yes. */
static int flag_from(PyObject* value, const char* name, unsigned bit, unsigned* flags) {
  if (value == NULL) {
    return 0;
  }
  if (!PyLong_Check(value)) {
    PyErr_Format(PyExc_TypeError, "%s must be True or False, not %s", name,
                 Py_TYPE(value)->tp_name);
    return -1;
  }
  const long number = PyLong_AsLong(value);
  if (number == -1 && PyErr_Occurred()) {
    return -1;
  }
  if (number != 0 && number != 1) {
    PyErr_Format(PyExc_ValueError, "%s must be True or False, not %R", name, value);
    return -1;
  }
  *flags = number ? (*flags | bit) : (*flags & ~bit);
  return 0;
}

/* The style and the four flags as convert and Converter take them. */
static int settings_from(PyObject* style_value, PyObject* pokoru, PyObject* first, PyObject* second,
                         PyObject* force, int* style, unsigned* flags) {
  *style = POKOPEN_STYLE_STANDARD;
  *flags = POKOPEN_DEFAULT_FLAGS;
  if (style_value != NULL && style_from(style_value, style) < 0) {
    return -1;
  }
  if (flag_from(pokoru, "pokoru", POKOPEN_POKORU, flags) < 0 ||
      flag_from(first, "first", POKOPEN_FIRST, flags) < 0 ||
      flag_from(second, "second", POKOPEN_SECOND, flags) < 0 ||
      flag_from(force, "force", POKOPEN_FORCE, flags) < 0) {
    return -1;
  }
  return 0;
}

/* An encoding name as Python spells it, in any case, with or without - and _. */
static int encoding_from(PyObject* value, int reading, pokopen_encoding* encoding) {
  static const struct {
    const char* name;
    pokopen_encoding encoding;
  } names[] = {
      {"auto", POKOPEN_ENCODING_AUTO},       {"utf8", POKOPEN_ENCODING_UTF8},
      {"utf16", POKOPEN_ENCODING_UTF16},     {"utf16le", POKOPEN_ENCODING_UTF16LE},
      {"utf16be", POKOPEN_ENCODING_UTF16BE}, {"cp932", POKOPEN_ENCODING_CP932},
      {"ms932", POKOPEN_ENCODING_CP932},     {"windows31j", POKOPEN_ENCODING_CP932},
      {"shiftjis", POKOPEN_ENCODING_CP932},  {"sjis", POKOPEN_ENCODING_CP932},
  };
  if (!PyUnicode_Check(value)) {
    PyErr_Format(PyExc_TypeError, "encoding must be str, not %s", Py_TYPE(value)->tp_name);
    return -1;
  }
  Py_ssize_t length = 0;
  const char* given = PyUnicode_AsUTF8AndSize(value, &length);
  if (given == NULL) {
    return -1;
  }
  char key[16];
  size_t used = 0;
  for (Py_ssize_t i = 0; i < length && used < sizeof key - 1; ++i) {
    const char c = given[i];
    if (c != '-' && c != '_' && c != ' ') {
      key[used++] = (char)(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
  }
  key[used] = '\0';
  for (size_t i = 0; i < sizeof names / sizeof names[0] && length < 32; ++i) {
    if (strcmp(key, names[i].name) == 0) {
      if (!reading && names[i].encoding == POKOPEN_ENCODING_AUTO) {
        PyErr_SetString(PyExc_ValueError, "text is written in a named encoding, not 'auto'");
        return -1;
      }
      *encoding = names[i].encoding;
      return 0;
    }
  }
  PyErr_Format(PyExc_LookupError, "unknown encoding: %U (%s)", value,
               reading ? "auto, utf-8, utf-16, utf-16-le, utf-16-be or cp932"
                       : "utf-8, utf-16, utf-16-le, utf-16-be or cp932");
  return -1;
}

/* The Python codec name of an encoding found or failing. */
static const char* encoding_name(pokopen_encoding encoding) {
  switch (encoding) {
    case POKOPEN_ENCODING_UTF16:
      return "utf-16";
    case POKOPEN_ENCODING_UTF16LE:
      return "utf-16-le";
    case POKOPEN_ENCODING_UTF16BE:
      return "utf-16-be";
    case POKOPEN_ENCODING_CP932:
      return "cp932";
    default:
      return "utf-8";
  }
}

/* ---- Texts between str and UTF-16 --------------------------------------- */

/* A str as UTF-16: its own memory when it has no character past U+FFFF and
 * needs two bytes a character, a copy otherwise. */
typedef struct {
  int kind;
  const void* data;
  Py_ssize_t length; /* in characters */
  const uint16_t* units;
  size_t unit_count;
  uint16_t* owned;
} TextUnits;

static void text_units_start(PyObject* str, TextUnits* text) {
  memset(text, 0, sizeof *text);
  text->kind = PyUnicode_KIND(str);
  text->data = PyUnicode_DATA(str);
  text->length = PyUnicode_GET_LENGTH(str);
}

/* Makes text->units; reads only the str's immutable characters, so it runs
 * without the lock. Returns -1 when memory runs out. */
static int text_units_make(TextUnits* text) {
  const Py_ssize_t n = text->length;
  if (text->kind == PyUnicode_2BYTE_KIND) {
    text->units = (const uint16_t*)text->data;
    text->unit_count = (size_t)n;
    return 0;
  }
  size_t count = (size_t)n;
  if (text->kind == PyUnicode_4BYTE_KIND) {
    const Py_UCS4* chars = (const Py_UCS4*)text->data;
    for (Py_ssize_t i = 0; i < n; ++i) {
      count += chars[i] > 0xFFFF;
    }
  }
  uint16_t* units = PyMem_RawMalloc(count > 0 ? count * sizeof *units : 1);
  if (units == NULL) {
    return -1;
  }
  if (text->kind == PyUnicode_1BYTE_KIND) {
    const Py_UCS1* chars = (const Py_UCS1*)text->data;
    for (Py_ssize_t i = 0; i < n; ++i) {
      units[i] = chars[i];
    }
  } else {
    const Py_UCS4* chars = (const Py_UCS4*)text->data;
    size_t out = 0;
    for (Py_ssize_t i = 0; i < n; ++i) {
      const Py_UCS4 c = chars[i];
      if (c > 0xFFFF) {
        units[out++] = (uint16_t)(0xD800 + ((c - 0x10000) >> 10));
        units[out++] = (uint16_t)(0xDC00 + ((c - 0x10000) & 0x3FF));
      } else {
        units[out++] = (uint16_t)c;
      }
    }
  }
  text->units = text->owned = units;
  text->unit_count = count;
  return 0;
}

static void text_units_free(TextUnits* text) {
  PyMem_RawFree(text->owned);
  text->owned = NULL;
}

/* The index in the str of the character at a unit offset. */
static Py_ssize_t text_index_of(const TextUnits* text, uint64_t offset) {
  if (text->kind != PyUnicode_4BYTE_KIND) {
    return (Py_ssize_t)offset;
  }
  const Py_UCS4* chars = (const Py_UCS4*)text->data;
  uint64_t units = 0;
  Py_ssize_t i = 0;
  while (i < text->length && units < offset) {
    units += chars[i++] > 0xFFFF ? 2 : 1;
  }
  return i;
}

static int is_high(uint16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

static int is_low(uint16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

/* What a str made from UTF-16 needs: its length and largest character. With
 * `newlines`, CR LF and a lone CR become LF as Python's text files read them. */
typedef struct {
  Py_ssize_t length;
  Py_UCS4 largest;
} StrShape;

static StrShape shape_of(const uint16_t* units, size_t count, int newlines) {
  StrShape shape = {0, 0};
  for (size_t i = 0; i < count; ++i) {
    Py_UCS4 c = units[i];
    if (is_high(units[i]) && i + 1 < count && is_low(units[i + 1])) {
      c = 0x10000 + (((Py_UCS4)units[i] - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (newlines && c == '\r' && i + 1 < count && units[i + 1] == '\n') {
      continue;
    }
    if (c > shape.largest) {
      shape.largest = c;
    }
    ++shape.length;
  }
  return shape;
}

#define FILL_STR(TYPE)                                                                \
  do {                                                                                \
    TYPE* out = (TYPE*)PyUnicode_DATA(str);                                           \
    for (size_t i = 0; i < count; ++i) {                                              \
      Py_UCS4 c = units[i];                                                           \
      if (is_high(units[i]) && i + 1 < count && is_low(units[i + 1])) {               \
        c = 0x10000 + (((Py_UCS4)units[i] - 0xD800) << 10) + (units[i + 1] - 0xDC00); \
        ++i;                                                                          \
      } else if (newlines && c == '\r') {                                             \
        if (i + 1 < count && units[i + 1] == '\n') {                                  \
          continue;                                                                   \
        }                                                                             \
        c = '\n';                                                                     \
      }                                                                               \
      *out++ = (TYPE)c;                                                               \
    }                                                                                 \
  } while (0)

/* Writes the characters into a new str of the right shape. The str is ours
 * alone until returned, so this runs without the lock. */
static void fill_str(PyObject* str, const uint16_t* units, size_t count, int newlines) {
  switch (PyUnicode_KIND(str)) {
    case PyUnicode_1BYTE_KIND:
      FILL_STR(Py_UCS1);
      break;
    case PyUnicode_2BYTE_KIND:
      FILL_STR(Py_UCS2);
      break;
    default:
      FILL_STR(Py_UCS4);
      break;
  }
}

/* A str of UTF-16 units (a pair of surrogates is one character, a lone one
 * stays); `release` lets the lock go while the units are read. */
static PyObject* str_from_units(const uint16_t* units, size_t count, int newlines, int release) {
  StrShape shape;
  PyThreadState* saved = release ? PyEval_SaveThread() : NULL;
  shape = shape_of(units, count, newlines);
  if (saved != NULL) {
    PyEval_RestoreThread(saved);
  }
  PyObject* str = PyUnicode_New(shape.length, shape.largest);
  if (str == NULL || shape.length == 0) {
    return str;
  }
  saved = release ? PyEval_SaveThread() : NULL;
  fill_str(str, units, count, newlines);
  if (saved != NULL) {
    PyEval_RestoreThread(saved);
  }
  return str;
}

/* ---- Errors --------------------------------------------------------------- */

static int set_attribute(PyObject* object, const char* name, PyObject* value) {
  if (value == NULL) {
    return -1;
  }
  const int result = PyObject_SetAttrString(object, name, value);
  Py_DECREF(value);
  return result;
}

/* An error that is not about the text: the argument checks above keep the
 * library from ever reporting a bad argument, so that means a fault here. */
static PyObject* raise_status(pokopen_status status, const pokopen_error* error) {
  switch (status) {
    case POKOPEN_ERROR_NO_MEMORY:
      return PyErr_NoMemory();
    case POKOPEN_ERROR_ARGUMENT:
      PyErr_SetString(PyExc_ValueError, error->message);
      return NULL;
    default:
      PyErr_Format(PyExc_RuntimeError, "libpokopen: %s", error->message);
      return NULL;
  }
}

static int is_decode_status(pokopen_status status) {
  switch (status) {
    case POKOPEN_ERROR_INVALID_TEXT:
    case POKOPEN_ERROR_NUL_BYTE:
    case POKOPEN_ERROR_EUC_JP:
    case POKOPEN_ERROR_ISO_2022_JP:
    case POKOPEN_ERROR_MIXED_ENCODINGS:
    case POKOPEN_ERROR_NOT_JAPANESE:
    case POKOPEN_ERROR_NO_BYTE_ORDER_MARK:
      return 1;
    default:
      return 0;
  }
}

/* A refused or invalid text as a DecodeError: start and end at the byte,
 * encoding the one the bytes are invalid in (the likely one when it was
 * detected), and the library's status as `code`. */
static PyObject* raise_decode_error(const pokopen_error* error, PyObject* bytes,
                                    pokopen_encoding asked, PyObject* filename) {
  const char* encoding = asked == POKOPEN_ENCODING_AUTO ? "auto" : encoding_name(asked);
  char reason[sizeof error->message + 96];
  switch (error->code) {
    case POKOPEN_ERROR_INVALID_TEXT:
      encoding = encoding_name(error->encoding);
      if (error->guessed) {
        snprintf(reason, sizeof reason,
                 "invalid %s, the encoding the bytes most likely are (if they are %s, name it: "
                 "encoding='%s')",
                 error->encoding == POKOPEN_ENCODING_CP932 ? "code page 932" : "UTF-8",
                 error->encoding == POKOPEN_ENCODING_CP932 ? "UTF-8" : "code page 932",
                 error->encoding == POKOPEN_ENCODING_CP932 ? "utf-8" : "cp932");
      } else {
        snprintf(reason, sizeof reason, "invalid %s",
                 error->encoding == POKOPEN_ENCODING_CP932  ? "code page 932"
                 : error->encoding == POKOPEN_ENCODING_UTF8 ? "UTF-8"
                                                            : "UTF-16");
      }
      break;
    case POKOPEN_ERROR_EUC_JP:
      encoding = "euc-jp";
      snprintf(reason, sizeof reason, "%s", error->message);
      break;
    case POKOPEN_ERROR_ISO_2022_JP:
      encoding = "iso-2022-jp";
      snprintf(reason, sizeof reason, "%s", error->message);
      break;
    default:
      snprintf(reason, sizeof reason, "%s", error->message);
      break;
  }
  /* The position is the exception's own: "a NUL byte at byte offset 2: ..."
   * reads "a NUL byte: ...". */
  char* at = strstr(reason, " at byte offset ");
  if (at != NULL) {
    const char* after = at + strlen(" at byte offset ");
    while (*after >= '0' && *after <= '9') {
      ++after;
    }
    memmove(at, after, strlen(after) + 1);
  }
  const Py_ssize_t size = PyBytes_Check(bytes) ? PyBytes_GET_SIZE(bytes) : 0;
  Py_ssize_t start = (Py_ssize_t)error->byte_offset;
  if (start > size) {
    start = size;
  }
  const Py_ssize_t end = start < size ? start + 1 : start;
  PyObject* exception =
      PyObject_CallFunction(DecodeError, "sOnns", encoding, bytes, start, end, reason);
  if (exception == NULL) {
    return NULL;
  }
  if (set_attribute(exception, "code", PyUnicode_FromString(pokopen_status_name(error->code))) <
          0 ||
      set_attribute(exception, "guessed", PyBool_FromLong(error->guessed)) < 0 ||
      PyObject_SetAttrString(exception, "filename", filename != NULL ? filename : Py_None) < 0) {
    Py_DECREF(exception);
    return NULL;
  }
  PyErr_SetObject(DecodeError, exception);
  Py_DECREF(exception);
  return NULL;
}

/* A character the encoding cannot hold, as an EncodeError at its index in
 * the str, with its line and column and the count of such characters. */
static PyObject* raise_encode_error(const pokopen_error* error, PyObject* str,
                                    const TextUnits* text, PyObject* filename) {
  const Py_ssize_t start = text_index_of(text, error->offset);
  char reason[sizeof error->message + 64];
  snprintf(reason, sizeof reason,
           "%s cannot hold U+%04X (line %llu, column %llu; %llu such "
           "character%s in all)",
           error->encoding == POKOPEN_ENCODING_CP932  ? "code page 932"
           : error->encoding == POKOPEN_ENCODING_UTF8 ? "UTF-8"
                                                      : "UTF-16",
           (unsigned)error->code_point, (unsigned long long)error->line,
           (unsigned long long)error->column, (unsigned long long)error->count,
           error->count == 1 ? "" : "s");
  PyObject* exception = PyObject_CallFunction(EncodeError, "sOnns", encoding_name(error->encoding),
                                              str, start, start + 1, reason);
  if (exception == NULL) {
    return NULL;
  }
  if (set_attribute(exception, "code", PyUnicode_FromString("unencodable")) < 0 ||
      set_attribute(exception, "line", PyLong_FromUnsignedLongLong(error->line)) < 0 ||
      set_attribute(exception, "column", PyLong_FromUnsignedLongLong(error->column)) < 0 ||
      set_attribute(exception, "count", PyLong_FromUnsignedLongLong(error->count)) < 0 ||
      PyObject_SetAttrString(exception, "filename", filename != NULL ? filename : Py_None) < 0) {
    Py_DECREF(exception);
    return NULL;
  }
  PyErr_SetObject(EncodeError, exception);
  Py_DECREF(exception);
  return NULL;
}

/* A failure of the file itself as the OSError subclass Python raises. */
static PyObject* raise_file_error(const pokopen_error* error, PyObject* filename) {
  if (error->code == POKOPEN_ERROR_SYSTEM && error->system_errno != 0) {
    errno = error->system_errno;
    return PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, filename);
  }
  if (error->code == POKOPEN_ERROR_NOT_REGULAR_FILE) {
    struct stat status;
    PyObject* path = NULL;
    const int folder = PyUnicode_FSConverter(filename, &path) &&
                       stat(PyBytes_AS_STRING(path), &status) == 0 && S_ISDIR(status.st_mode);
    Py_XDECREF(path);
    PyErr_Clear();
    errno = folder ? EISDIR : EINVAL;
    PyObject* exception = PyObject_CallFunction(
        PyExc_OSError, "isO", errno, folder ? "Is a directory" : "Not a regular file", filename);
    if (exception != NULL) {
      PyErr_SetObject((PyObject*)Py_TYPE(exception), exception);
      Py_DECREF(exception);
    }
    return NULL;
  }
  return raise_status(error->code, error);
}

/* ---- convert ---------------------------------------------------------------- */

/* What a step reports if it cannot even copy its text: no memory. */
static pokopen_status no_memory(pokopen_error* error) {
  error->code = POKOPEN_ERROR_NO_MEMORY;
  snprintf(error->message, sizeof error->message, "not enough memory");
  return POKOPEN_ERROR_NO_MEMORY;
}

/* The str of a converted result, which is freed, or the step's error. */
static PyObject* converted_str(pokopen_status status, const pokopen_error* error, uint16_t* result,
                               size_t result_length, int release) {
  if (status != POKOPEN_OK) {
    return raise_status(status, error);
  }
  PyObject* converted = str_from_units(result, result_length, 0, release);
  pokopen_free(result);
  return converted;
}

PyDoc_STRVAR(convert_doc,
             "convert($module, /, text, style=Style.STANDARD, *, pokoru=False, first=True,\n"
             "        second=True, force=False)\n"
             "--\n"
             "\n"
             "Rewrite text into character speech and return the result.\n"
             "\n"
             "style is a Style, its number 0 to 5 or its name. The flags are those of the\n"
             "window's Options menu, and default to its choices at start: pokoru also\n"
             "converts the persona's name, first and second convert first- and\n"
             "second-person words, force rewrites every sentence ending. The dialects\n"
             "(NYU, NYO, PYO) read only force.\n"
             "\n"
             "Line breaks come out as '\\n' whether the text had LF, CR LF or CR. The\n"
             "result equals `pokopen-convert` on the same text; a lone surrogate passes\n"
             "through unchanged.\n"
             "\n"
             ">>> pokopen.convert('私はうれしいです。', pokopen.Style.CHEERFUL)\n"
             "'ぽこりゅんっはうれしいだりゅん。'");

static PyObject* convert(PyObject* module, PyObject* args, PyObject* kwargs) {
  static char* keywords[] = {"text", "style", "pokoru", "first", "second", "force", NULL};
  PyObject* str = NULL;
  PyObject* style_value = NULL;
  PyObject *pokoru = NULL, *first = NULL, *second = NULL, *force = NULL;
  int style = 0;
  unsigned flags = 0;
  (void)module;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "U|O$OOOO:convert", keywords, &str, &style_value,
                                   &pokoru, &first, &second, &force) ||
      settings_from(style_value, pokoru, first, second, force, &style, &flags) < 0) {
    return NULL;
  }
  TextUnits text;
  text_units_start(str, &text);
  const int release = text.length >= LONG_TEXT_UNITS;
  uint16_t* result = NULL;
  size_t result_length = 0;
  pokopen_error error;
  pokopen_status status = no_memory(&error);
  PyThreadState* saved = release ? PyEval_SaveThread() : NULL;
  if (text_units_make(&text) == 0) {
    status = pokopen_convert_utf16(text.units, text.unit_count, style, flags, &result,
                                   &result_length, &error);
  }
  text_units_free(&text);
  if (saved != NULL) {
    PyEval_RestoreThread(saved);
  }
  return converted_str(status, &error, result, result_length, release);
}

/* ---- decode, encode, read_text, write_text ------------------------------------ */

PyDoc_STRVAR(decode_doc,
             "decode($module, data, /, encoding='auto')\n"
             "--\n"
             "\n"
             "Decode the bytes of a text file; return (text, encoding found).\n"
             "\n"
             "With 'auto' the encoding is detected as the window and pokopen-convert\n"
             "detect it: a byte-order mark decides, then UTF-8 while the bytes are valid\n"
             "UTF-8, then code page 932 where they read as Japanese; anything else is\n"
             "refused with a DecodeError that names the likely encoding and the byte where\n"
             "the bytes stop being valid in it. Other encodings: 'utf-8', 'utf-16' (with a\n"
             "byte-order mark), 'utf-16-le', 'utf-16-be' and 'cp932' (also 'shift_jis').\n"
             "The encoding found is 'utf-8', 'utf-16-le', 'utf-16-be' or 'cp932'.\n"
             "\n"
             "A byte-order mark is dropped; line breaks are left as they are.");

static PyObject* decode(PyObject* module, PyObject* args, PyObject* kwargs) {
  static char* keywords[] = {"data", "encoding", NULL};
  PyObject* data = NULL;
  PyObject* encoding_value = NULL;
  pokopen_encoding encoding = POKOPEN_ENCODING_AUTO;
  (void)module;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O:decode", keywords, &data, &encoding_value) ||
      (encoding_value != NULL && encoding_from(encoding_value, 1, &encoding) < 0)) {
    return NULL;
  }
  Py_buffer view;
  if (PyUnicode_Check(data)) {
    PyErr_SetString(PyExc_TypeError, "decode() takes bytes; a str is decoded already");
    return NULL;
  }
  if (PyObject_GetBuffer(data, &view, PyBUF_SIMPLE) < 0) {
    return NULL;
  }
  const int release = view.len >= LONG_TEXT_UNITS;
  uint16_t* units = NULL;
  size_t count = 0;
  pokopen_encoding found = POKOPEN_ENCODING_UTF8;
  pokopen_error error;
  PyThreadState* saved = release ? PyEval_SaveThread() : NULL;
  const pokopen_status status =
      pokopen_decode_utf16(view.buf, (size_t)view.len, encoding, &units, &count, &found, &error);
  if (saved != NULL) {
    PyEval_RestoreThread(saved);
  }
  if (status != POKOPEN_OK) {
    PyObject* bytes =
        PyBytes_Check(data) ? Py_NewRef(data) : PyBytes_FromStringAndSize(view.buf, view.len);
    PyBuffer_Release(&view);
    if (bytes == NULL) {
      return NULL;
    }
    if (is_decode_status(status)) {
      raise_decode_error(&error, bytes, encoding, NULL);
    } else {
      raise_status(status, &error);
    }
    Py_DECREF(bytes);
    return NULL;
  }
  PyBuffer_Release(&view);
  PyObject* text = str_from_units(units, count, 0, release);
  pokopen_free(units);
  if (text == NULL) {
    return NULL;
  }
  return Py_BuildValue("(Ns)", text, encoding_name(found));
}

/* Encodes a str with pokopen_encode_utf16 or writes it with
 * pokopen_write_text_utf16 (when `path` is given). */
static PyObject* encode_or_write(PyObject* str, PyObject* encoding_value, PyObject* crlf,
                                 PyObject* path, PyObject* filename) {
  pokopen_encoding encoding = POKOPEN_ENCODING_UTF8;
  unsigned options = 0;
  if ((encoding_value != NULL && encoding_from(encoding_value, 0, &encoding) < 0) ||
      flag_from(crlf, "crlf", POKOPEN_CRLF, &options) < 0) {
    return NULL;
  }
  TextUnits text;
  text_units_start(str, &text);
  const int release = path != NULL || text.length >= LONG_TEXT_UNITS;
  char* bytes = NULL;
  size_t length = 0;
  pokopen_error error;
  pokopen_status status = no_memory(&error);
  PyThreadState* saved = release ? PyEval_SaveThread() : NULL;
  if (text_units_make(&text) == 0) {
    status = path != NULL ? pokopen_write_text_utf16(PyBytes_AS_STRING(path), text.units,
                                                     text.unit_count, encoding, options, &error)
                          : pokopen_encode_utf16(text.units, text.unit_count, encoding, options,
                                                 &bytes, &length, &error);
  }
  if (saved != NULL) {
    PyEval_RestoreThread(saved);
  }
  if (status != POKOPEN_OK) {
    if (status == POKOPEN_ERROR_UNENCODABLE) {
      raise_encode_error(&error, str, &text, filename);
    } else if (path != NULL) {
      raise_file_error(&error, filename);
    } else {
      raise_status(status, &error);
    }
    text_units_free(&text);
    return NULL;
  }
  text_units_free(&text);
  if (path != NULL) {
    Py_RETURN_NONE;
  }
  PyObject* result = PyBytes_FromStringAndSize(NULL, (Py_ssize_t)length);
  if (result != NULL) {
    saved = release ? PyEval_SaveThread() : NULL;
    memcpy(PyBytes_AS_STRING(result), bytes, length);
    if (saved != NULL) {
      PyEval_RestoreThread(saved);
    }
  }
  pokopen_free(bytes);
  return result;
}

PyDoc_STRVAR(encode_doc,
             "encode($module, /, text, encoding='utf-8', crlf=False)\n"
             "--\n"
             "\n"
             "Encode text into bytes: 'utf-8' (no byte-order mark), 'utf-16' (little-\n"
             "endian after a byte-order mark), 'utf-16-le', 'utf-16-be' or 'cp932'.\n"
             "\n"
             "Every line break (LF, CR LF or CR) is written as LF, or as CR LF with crlf.\n"
             "Code page 932 writes the look-alikes other Japanese mappings use (such as\n"
             "U+301C for U+FF5E) as its own characters. A character the encoding cannot\n"
             "hold raises EncodeError at its index in text, before anything is made.");

static PyObject* encode(PyObject* module, PyObject* args, PyObject* kwargs) {
  static char* keywords[] = {"text", "encoding", "crlf", NULL};
  PyObject* str = NULL;
  PyObject* encoding_value = NULL;
  PyObject* crlf = NULL;
  (void)module;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "U|OO:encode", keywords, &str, &encoding_value,
                                   &crlf)) {
    return NULL;
  }
  return encode_or_write(str, encoding_value, crlf, NULL, NULL);
}

PyDoc_STRVAR(write_text_doc,
             "write_text($module, /, path, text, encoding='utf-8', crlf=False)\n"
             "--\n"
             "\n"
             "Write text to a file, encoded as encode() encodes it, replacing the file\n"
             "all at once.\n"
             "\n"
             "The file is either as it was or wholly new, whatever happens: a character\n"
             "the encoding cannot hold raises EncodeError before anything is written, and\n"
             "a failure to write raises OSError and leaves the old file. An existing file\n"
             "keeps its permissions; a symbolic link stays a link. path is a str, bytes\n"
             "or os.PathLike.");

/* The path argument as os.fspath gives it, for errors, and as bytes for the
 * library. */
static int path_from(PyObject* value, PyObject** filename, PyObject** path) {
  *filename = PyOS_FSPath(value);
  if (*filename == NULL) {
    return -1;
  }
  if (!PyUnicode_FSConverter(*filename, path)) {
    Py_CLEAR(*filename);
    return -1;
  }
  return 0;
}

static PyObject* write_text(PyObject* module, PyObject* args, PyObject* kwargs) {
  static char* keywords[] = {"path", "text", "encoding", "crlf", NULL};
  PyObject* path_value = NULL;
  PyObject* str = NULL;
  PyObject* encoding_value = NULL;
  PyObject* crlf = NULL;
  PyObject *filename = NULL, *path = NULL;
  (void)module;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OU|OO:write_text", keywords, &path_value, &str,
                                   &encoding_value, &crlf) ||
      path_from(path_value, &filename, &path) < 0) {
    return NULL;
  }
  PyObject* result = encode_or_write(str, encoding_value, crlf, path, filename);
  Py_DECREF(filename);
  Py_DECREF(path);
  return result;
}

/* The whole content of a file, for the error of a refused one. */
static PyObject* file_bytes(const char* path) {
  PyThreadState* saved = PyEval_SaveThread();
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  struct stat status;
  const int sized = fd >= 0 && fstat(fd, &status) == 0;
  PyEval_RestoreThread(saved);
  PyObject* bytes = PyBytes_FromStringAndSize(NULL, sized ? (Py_ssize_t)status.st_size : 0);
  if (bytes != NULL && sized) {
    const Py_ssize_t size = PyBytes_GET_SIZE(bytes);
    Py_ssize_t done = 0;
    saved = PyEval_SaveThread();
    while (done < size) {
      const ssize_t got = read(fd, PyBytes_AS_STRING(bytes) + done, (size_t)(size - done));
      if (got <= 0) {
        break;
      }
      done += got;
    }
    PyEval_RestoreThread(saved);
    if (done < size && _PyBytes_Resize(&bytes, done) < 0) {
      bytes = NULL;
    }
  }
  if (fd >= 0) {
    close(fd);
  }
  return bytes;
}

PyDoc_STRVAR(read_text_doc,
             "read_text($module, /, path, encoding='auto', *, newline=None)\n"
             "--\n"
             "\n"
             "Read a whole text file and return its text, decoded as decode() decodes\n"
             "the bytes (with 'auto', the window's detection).\n"
             "\n"
             "As Python's own text files do, CR LF and a lone CR come back as '\\n'\n"
             "unless newline='' asks for the line breaks as they are. (A lone LF in a\n"
             "code page 932 file, which the window and pokopen-convert keep inside its\n"
             "line, is then a line end for convert(); convert_file() converts such a\n"
             "file as they do.) A refused or\n"
             "invalid file raises DecodeError at its byte, with the file's bytes as its\n"
             "`object` and its path as `filename`; a file that cannot be read raises\n"
             "OSError. path is a str, bytes or os.PathLike.");

static PyObject* read_text(PyObject* module, PyObject* args, PyObject* kwargs) {
  static char* keywords[] = {"path", "encoding", "newline", NULL};
  PyObject* path_value = NULL;
  PyObject* encoding_value = NULL;
  PyObject* newline = Py_None;
  pokopen_encoding encoding = POKOPEN_ENCODING_AUTO;
  (void)module;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O$O:read_text", keywords, &path_value,
                                   &encoding_value, &newline) ||
      (encoding_value != NULL && encoding_from(encoding_value, 1, &encoding) < 0)) {
    return NULL;
  }
  const int translate = newline == Py_None;
  if (!translate && !(PyUnicode_Check(newline) && PyUnicode_GET_LENGTH(newline) == 0)) {
    PyErr_Format(PyExc_ValueError, "newline must be None or '', not %R", newline);
    return NULL;
  }
  PyObject *filename = NULL, *path = NULL;
  if (path_from(path_value, &filename, &path) < 0) {
    return NULL;
  }
  uint16_t* units = NULL;
  size_t count = 0;
  pokopen_error error;
  PyThreadState* saved = PyEval_SaveThread();
  const pokopen_status status =
      pokopen_read_text_utf16(PyBytes_AS_STRING(path), encoding, &units, &count, NULL, &error);
  PyEval_RestoreThread(saved);
  PyObject* result = NULL;
  if (status == POKOPEN_OK) {
    result = str_from_units(units, count, translate, count >= LONG_TEXT_UNITS);
    pokopen_free(units);
  } else if (is_decode_status(status)) {
    PyObject* bytes = file_bytes(PyBytes_AS_STRING(path));
    if (bytes != NULL) {
      raise_decode_error(&error, bytes, encoding, filename);
      Py_DECREF(bytes);
    }
  } else {
    raise_file_error(&error, filename);
  }
  Py_DECREF(path);
  Py_DECREF(filename);
  return result;
}

PyDoc_STRVAR(convert_file_doc,
             "convert_file($module, /, source, target, style=Style.STANDARD, *,\n"
             "             pokoru=False, first=True, second=True, force=False,\n"
             "             encoding='auto', output_encoding='utf-8', crlf=False, jobs=0)\n"
             "--\n"
             "\n"
             "Convert the text file source into target as `pokopen-convert -o` does,\n"
             "byte for byte, and replace target all at once (it may be source itself).\n"
             "The text is converted on `jobs` threads, one per core when 0, in pieces\n"
             "read, converted and written as they come.\n"
             "\n"
             "Unlike read_text() followed by convert(), a code page 932 file keeps a\n"
             "lone LF inside its line, as the window and pokopen-convert read it. Errors\n"
             "are those of read_text() for source and of write_text() for target, and\n"
             "target is left as it was on any of them.");

static PyObject* convert_file(PyObject* module, PyObject* args, PyObject* kwargs) {
  static char* keywords[] = {"source", "target",   "style",           "pokoru", "first", "second",
                             "force",  "encoding", "output_encoding", "crlf",   "jobs",  NULL};
  PyObject *source_value = NULL, *target_value = NULL, *style_value = NULL;
  PyObject *pokoru = NULL, *first = NULL, *second = NULL, *force = NULL;
  PyObject *encoding_value = NULL, *output_value = NULL, *crlf = NULL;
  unsigned int jobs = 0;
  int style = 0;
  unsigned flags = 0, options = POKOPEN_LF_IN_LINE;
  pokopen_encoding encoding = POKOPEN_ENCODING_AUTO, output = POKOPEN_ENCODING_UTF8;
  (void)module;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO|O$OOOOOOOI:convert_file", keywords,
                                   &source_value, &target_value, &style_value, &pokoru, &first,
                                   &second, &force, &encoding_value, &output_value, &crlf, &jobs) ||
      settings_from(style_value, pokoru, first, second, force, &style, &flags) < 0 ||
      (encoding_value != NULL && encoding_from(encoding_value, 1, &encoding) < 0) ||
      (output_value != NULL && encoding_from(output_value, 0, &output) < 0) ||
      flag_from(crlf, "crlf", POKOPEN_CRLF, &options) < 0) {
    return NULL;
  }
  PyObject *source_name = NULL, *source = NULL, *target_name = NULL, *target = NULL;
  if (path_from(source_value, &source_name, &source) < 0) {
    return NULL;
  }
  if (path_from(target_value, &target_name, &target) < 0) {
    Py_DECREF(source_name);
    Py_DECREF(source);
    return NULL;
  }
  /* pokopen-convert's own streaming conversion. */
  pokopen_error error;
  uint16_t* converted = NULL;
  size_t converted_length = 0;
  PyThreadState* saved = PyEval_SaveThread();
  pokopen_status status =
      pokopen_convert_file(PyBytes_AS_STRING(source), PyBytes_AS_STRING(target), style,
                           flags | (options & POKOPEN_CRLF), encoding, output, jobs, &error);
  /* The step that failed: 0 reading, 1 converting, 2 writing. */
  int stage = status != POKOPEN_OK && error.in_output ? 2 : 0;
  if (status == POKOPEN_ERROR_UNENCODABLE) {
    /* EncodeError names the character in the converted text, which the
     * steps one after another make: read with the line breaks as they are,
     * convert with every break as CR LF (a lone LF stays data where the file
     * is code page 932), and write those breaks as the options say. */
    uint16_t* text = NULL;
    size_t text_length = 0;
    pokopen_encoding found = POKOPEN_ENCODING_UTF8;
    status = pokopen_read_text_utf16(PyBytes_AS_STRING(source), encoding, &text, &text_length,
                                     &found, &error);
    if (status == POKOPEN_OK) {
      stage = 1;
      const unsigned lines =
          POKOPEN_CRLF | (found == POKOPEN_ENCODING_CP932 ? POKOPEN_LF_IN_LINE : 0);
      status = pokopen_convert_utf16(text, text_length, style, flags | lines, &converted,
                                     &converted_length, &error);
      pokopen_free(text);
    }
    if (status == POKOPEN_OK) {
      stage = 2;
      status = pokopen_write_text_utf16(PyBytes_AS_STRING(target), converted, converted_length,
                                        output, options, &error);
    }
  }
  PyEval_RestoreThread(saved);
  if (status != POKOPEN_OK) {
    if (stage == 0 && is_decode_status(status)) {
      PyObject* bytes = file_bytes(PyBytes_AS_STRING(source));
      if (bytes != NULL) {
        raise_decode_error(&error, bytes, encoding, source_name);
        Py_DECREF(bytes);
      }
    } else if (stage == 2 && status == POKOPEN_ERROR_UNENCODABLE && converted != NULL) {
      PyObject* str = str_from_units(converted, converted_length, 0, 1);
      if (str != NULL) {
        TextUnits units;
        text_units_start(str, &units);
        raise_encode_error(&error, str, &units, target_name);
        Py_DECREF(str);
      }
    } else {
      raise_file_error(&error, stage == 0 ? source_name : target_name);
    }
  }
  pokopen_free(converted);
  Py_DECREF(source_name);
  Py_DECREF(source);
  Py_DECREF(target_name);
  Py_DECREF(target);
  if (status != POKOPEN_OK) {
    return NULL;
  }
  Py_RETURN_NONE;
}

PyDoc_STRVAR(next_safe_cut_doc,
             "next_safe_cut($module, data, start=0, style=Style.STANDARD, *, pokoru=False,\n"
             "              first=True, second=True, force=False)\n"
             "--\n"
             "\n"
             "Return the offset of the first line start at or after start in UTF-8 data\n"
             "where the text may be cut so that its two parts, converted apart with these\n"
             "settings, give the conversion of the whole; len(data) if there is none.\n"
             "\n"
             "Not every line start will do: です at a line's end before a line that\n"
             "starts with 「 is rewritten across the break. Only a few bytes around each\n"
             "line break are read, so a process that converts a part of a large file can\n"
             "find its own ends.");

static PyObject* next_safe_cut(PyObject* module, PyObject* args, PyObject* kwargs) {
  static char* keywords[] = {"data", "start", "style", "pokoru", "first", "second", "force", NULL};
  Py_buffer view;
  Py_ssize_t start = 0;
  PyObject* style_value = NULL;
  PyObject *pokoru = NULL, *first = NULL, *second = NULL, *force = NULL;
  int style = 0;
  unsigned flags = 0;
  (void)module;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "y*|nO$OOOO:next_safe_cut", keywords, &view,
                                   &start, &style_value, &pokoru, &first, &second, &force)) {
    return NULL;
  }
  if (settings_from(style_value, pokoru, first, second, force, &style, &flags) < 0) {
    PyBuffer_Release(&view);
    return NULL;
  }
  if (start < 0) {
    PyBuffer_Release(&view);
    PyErr_SetString(PyExc_ValueError, "start must not be negative");
    return NULL;
  }
  size_t cut = 0;
  pokopen_error error;
  PyThreadState* saved = PyEval_SaveThread();
  const pokopen_status status =
      pokopen_next_safe_cut(view.buf, (size_t)view.len, (size_t)start, style, flags, &cut, &error);
  PyEval_RestoreThread(saved);
  PyBuffer_Release(&view);
  if (status != POKOPEN_OK) {
    return raise_status(status, &error);
  }
  return PyLong_FromSize_t(cut);
}

/* ---- Converter -------------------------------------------------------------- */

typedef struct {
  PyObject_HEAD pokopen_converter* converter;
  PyThread_type_lock lock; /* one call at a time: the library's converter wants that */
  int style;
  unsigned flags;
  int in_text; /* pieces pushed and not yet finished */
} ConverterObject;

static PyTypeObject ConverterType;

static PyObject* converter_make(PyTypeObject* type, int style, unsigned flags) {
  ConverterObject* self = (ConverterObject*)type->tp_alloc(type, 0);
  if (self == NULL) {
    return NULL;
  }
  self->style = style;
  self->flags = flags;
  self->lock = PyThread_allocate_lock();
  if (self->lock == NULL) {
    Py_DECREF(self);
    return PyErr_NoMemory();
  }
  pokopen_error error;
  const pokopen_status status = pokopen_converter_new(style, flags, &self->converter, &error);
  if (status != POKOPEN_OK) {
    Py_DECREF(self);
    return raise_status(status, &error);
  }
  return (PyObject*)self;
}

static PyObject* converter_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static char* keywords[] = {"style", "pokoru", "first", "second", "force", NULL};
  PyObject* style_value = NULL;
  PyObject *pokoru = NULL, *first = NULL, *second = NULL, *force = NULL;
  int style = 0;
  unsigned flags = 0;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|O$OOOO:Converter", keywords, &style_value,
                                   &pokoru, &first, &second, &force) ||
      settings_from(style_value, pokoru, first, second, force, &style, &flags) < 0) {
    return NULL;
  }
  return converter_make(type, style, flags);
}

static void converter_dealloc(ConverterObject* self) {
  pokopen_converter_free(self->converter);
  if (self->lock != NULL) {
    PyThread_free_lock(self->lock);
  }
  Py_TYPE(self)->tp_free((PyObject*)self);
}

static void converter_lock(ConverterObject* self) {
  if (!PyThread_acquire_lock(self->lock, NOWAIT_LOCK)) {
    PyThreadState* saved = PyEval_SaveThread();
    PyThread_acquire_lock(self->lock, WAIT_LOCK);
    PyEval_RestoreThread(saved);
  }
}

/* One step: push a str, or finish when str is NULL. */
static PyObject* converter_step(ConverterObject* self, PyObject* str) {
  TextUnits text;
  if (str != NULL) {
    text_units_start(str, &text);
  } else {
    memset(&text, 0, sizeof text);
  }
  const int release = text.length >= LONG_TEXT_UNITS;
  uint16_t* result = NULL;
  size_t result_length = 0;
  pokopen_error error;
  pokopen_status status = no_memory(&error);
  converter_lock(self);
  PyThreadState* saved = release ? PyEval_SaveThread() : NULL;
  if (str == NULL) {
    status = pokopen_converter_finish_utf16(self->converter, &result, &result_length, &error);
  } else if (text_units_make(&text) == 0) {
    status = pokopen_converter_push_utf16(self->converter, text.units, text.unit_count, &result,
                                          &result_length, &error);
  }
  text_units_free(&text);
  if (saved != NULL) {
    PyEval_RestoreThread(saved);
  }
  /* A failed step drops the text, as finish ends it. */
  self->in_text = str != NULL && status == POKOPEN_OK && (self->in_text || text.length > 0);
  PyThread_release_lock(self->lock);
  return converted_str(status, &error, result, result_length, release);
}

PyDoc_STRVAR(push_doc,
             "push($self, text, /)\n"
             "--\n"
             "\n"
             "Take the next piece of the text and return the part of the result it\n"
             "settles (possibly ''); what may still change waits for the next piece.");

static PyObject* converter_push(ConverterObject* self, PyObject* str) {
  if (!PyUnicode_Check(str)) {
    PyErr_Format(PyExc_TypeError, "push() takes str, not %s", Py_TYPE(str)->tp_name);
    return NULL;
  }
  return converter_step(self, str);
}

PyDoc_STRVAR(finish_doc,
             "finish($self, /)\n"
             "--\n"
             "\n"
             "End the text and return the rest of its result. The converter is then\n"
             "ready for a new text.");

static PyObject* converter_finish(ConverterObject* self, PyObject* unused) {
  (void)unused;
  return converter_step(self, NULL);
}

static PyObject* restore_converter(PyObject* module, PyObject* args) {
  int style = 0;
  unsigned flags = 0;
  (void)module;
  if (!PyArg_ParseTuple(args, "iI:_converter", &style, &flags)) {
    return NULL;
  }
  if (style < 0 || style >= STYLE_COUNT ||
      (flags & ~(unsigned)(POKOPEN_POKORU | POKOPEN_FIRST | POKOPEN_SECOND | POKOPEN_FORCE))) {
    PyErr_SetString(PyExc_ValueError, "not the settings of a pickled Converter");
    return NULL;
  }
  return converter_make(&ConverterType, style, flags);
}

static PyObject* converter_reduce(ConverterObject* self, PyObject* unused) {
  (void)unused;
  if (self->in_text) {
    PyErr_SetString(PyExc_TypeError,
                    "cannot pickle or copy a Converter in the middle of a text: finish() it "
                    "first, or send its settings");
    return NULL;
  }
  PyObject* module = PyImport_ImportModule("pokopen._pokopen");
  if (module == NULL) {
    return NULL;
  }
  PyObject* restore = PyObject_GetAttrString(module, "_converter");
  Py_DECREF(module);
  if (restore == NULL) {
    return NULL;
  }
  return Py_BuildValue("(N(iI))", restore, self->style, self->flags);
}

static PyObject* converter_get_style(ConverterObject* self, void* unused) {
  (void)unused;
  return PyObject_CallFunction(style_type, "i", self->style);
}

static PyObject* converter_get_flag(ConverterObject* self, void* bit) {
  return PyBool_FromLong((self->flags & (unsigned)(uintptr_t)bit) != 0);
}

static PyObject* converter_repr(ConverterObject* self) {
  return PyUnicode_FromFormat(
      "pokopen.Converter(Style.%s, pokoru=%s, first=%s, second=%s, force=%s)",
      style_names[self->style], self->flags & POKOPEN_POKORU ? "True" : "False",
      self->flags & POKOPEN_FIRST ? "True" : "False",
      self->flags & POKOPEN_SECOND ? "True" : "False",
      self->flags & POKOPEN_FORCE ? "True" : "False");
}

static PyMethodDef converter_methods[] = {
    {"push", (PyCFunction)converter_push, METH_O, push_doc},
    {"finish", (PyCFunction)converter_finish, METH_NOARGS, finish_doc},
    {"__reduce__", (PyCFunction)converter_reduce, METH_NOARGS,
     PyDoc_STR("The settings, for pickle and copy; refused in the middle of a text.")},
    {NULL, NULL, 0, NULL},
};

static PyGetSetDef converter_getset[] = {
    {"style", (getter)converter_get_style, NULL, PyDoc_STR("The Style it converts in."), NULL},
    {"pokoru", (getter)converter_get_flag, NULL, PyDoc_STR("Whether ぽこる is converted too."),
     (void*)(uintptr_t)POKOPEN_POKORU},
    {"first", (getter)converter_get_flag, NULL, PyDoc_STR("Whether first-person words are."),
     (void*)(uintptr_t)POKOPEN_FIRST},
    {"second", (getter)converter_get_flag, NULL, PyDoc_STR("Whether second-person words are."),
     (void*)(uintptr_t)POKOPEN_SECOND},
    {"force", (getter)converter_get_flag, NULL,
     PyDoc_STR("Whether every sentence ending is rewritten."), (void*)(uintptr_t)POKOPEN_FORCE},
    {NULL, NULL, NULL, NULL, NULL},
};

PyDoc_STRVAR(converter_doc,
             "Converter(style=Style.STANDARD, *, pokoru=False, first=True, second=True,\n"
             "          force=False)\n"
             "--\n"
             "\n"
             "Convert a text that arrives in pieces: the results of every push() and of\n"
             "finish(), joined, equal convert() of the whole text, however it is cut.\n"
             "\n"
             "The settings are those of convert(). A converter may be shared between\n"
             "threads (calls take turns) but holds one text at a time. It pickles and\n"
             "copies with its settings, between texts (a worker process gets a fresh\n"
             "converter); in the middle of a text it refuses, since the text so far is\n"
             "not kept.\n"
             "\n"
             ">>> c = pokopen.Converter(pokopen.Style.NYU, force=True)\n"
             ">>> c.push('元気です') + c.push('。') + c.finish()\n"
             "'元気だにゅ。'");

static PyTypeObject ConverterType = {
    PyVarObject_HEAD_INIT(NULL, 0).tp_name = "pokopen.Converter",
    .tp_basicsize = sizeof(ConverterObject),
    .tp_dealloc = (destructor)converter_dealloc,
    .tp_repr = (reprfunc)converter_repr,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc = converter_doc,
    .tp_methods = converter_methods,
    .tp_getset = converter_getset,
    .tp_new = converter_new,
};

/* ---- The module ---------------------------------------------------------------- */

static PyMethodDef module_methods[] = {
    {"convert", (PyCFunction)(void (*)(void))convert, METH_VARARGS | METH_KEYWORDS, convert_doc},
    {"decode", (PyCFunction)(void (*)(void))decode, METH_VARARGS | METH_KEYWORDS, decode_doc},
    {"encode", (PyCFunction)(void (*)(void))encode, METH_VARARGS | METH_KEYWORDS, encode_doc},
    {"read_text", (PyCFunction)(void (*)(void))read_text, METH_VARARGS | METH_KEYWORDS,
     read_text_doc},
    {"write_text", (PyCFunction)(void (*)(void))write_text, METH_VARARGS | METH_KEYWORDS,
     write_text_doc},
    {"convert_file", (PyCFunction)(void (*)(void))convert_file, METH_VARARGS | METH_KEYWORDS,
     convert_file_doc},
    {"next_safe_cut", (PyCFunction)(void (*)(void))next_safe_cut, METH_VARARGS | METH_KEYWORDS,
     next_safe_cut_doc},
    {"_converter", restore_converter, METH_VARARGS, NULL},
    {NULL, NULL, 0, NULL},
};

static struct PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    .m_name = "pokopen._pokopen",
    .m_doc = "The compiled part of pokopen; import pokopen instead.",
    .m_size = -1,
    .m_methods = module_methods,
};

PyDoc_STRVAR(decode_error_doc,
             "Bytes that are not read as text: invalid in their encoding, or refused by\n"
             "the detection (a NUL byte, EUC-JP, no byte-order mark for 'utf-16', ...).\n"
             "\n"
             "start and end surround the byte; encoding is the one the bytes are invalid\n"
             "in (the likely one, when it was detected), reason says why and what to try.\n"
             "code is the library's name for the fault ('invalid_text', 'nul_byte',\n"
             "'euc_jp', ...), guessed is True when the encoding was detected, and\n"
             "filename the path read_text() read, or None.");

PyDoc_STRVAR(encode_error_doc,
             "A character that the encoding cannot hold (in practice, code page 932).\n"
             "\n"
             "start and end surround the first such character in the str; line and\n"
             "column (1-based, in characters) say where it stands, count how many such\n"
             "characters the text holds. filename is the path write_text() was to\n"
             "write, or None.");

PyMODINIT_FUNC PyInit__pokopen(void) {
  PyObject* style_module = PyImport_ImportModule("pokopen._style");
  if (style_module == NULL) {
    return NULL;
  }
  style_type = PyObject_GetAttrString(style_module, "Style");
  Py_DECREF(style_module);
  if (style_type == NULL || PyType_Ready(&ConverterType) < 0) {
    return NULL;
  }
  DecodeError = PyErr_NewExceptionWithDoc("pokopen.DecodeError", decode_error_doc,
                                          PyExc_UnicodeDecodeError, NULL);
  EncodeError = PyErr_NewExceptionWithDoc("pokopen.EncodeError", encode_error_doc,
                                          PyExc_UnicodeEncodeError, NULL);
  PyObject* module = PyModule_Create(&module_definition);
  if (DecodeError == NULL || EncodeError == NULL || module == NULL ||
      PyModule_AddObjectRef(module, "Style", style_type) < 0 ||
      PyModule_AddObjectRef(module, "Converter", (PyObject*)&ConverterType) < 0 ||
      PyModule_AddObjectRef(module, "DecodeError", DecodeError) < 0 ||
      PyModule_AddObjectRef(module, "EncodeError", EncodeError) < 0 ||
      PyModule_AddStringConstant(module, "__version__", pokopen_version()) < 0) {
    Py_XDECREF(module);
    return NULL;
  }
  return module;
}
