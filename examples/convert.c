/*
 * Converts Japanese text into character speech with libpokopen:
 *   ./convert [STYLE [TEXT]]
 * With TEXT, converts that one line; without, converts standard input to
 * standard output as it arrives, however long it is. STYLE is 0 to 5
 * (default 1, 元気なぽこる語). On failure the library's message goes to
 * standard error and the exit status is 1.
 *
 * Build: cc -std=c99 -o convert convert.c $(pkg-config --cflags --libs pokopen)
 */
#include <pokopen.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int fail(const pokopen_error* error) {
  fprintf(stderr, "convert: %s (%s)\n", error->message, pokopen_status_name(error->code));
  return 1;
}

/* Writes a result of the library and frees it. */
static int write_result(char* result, size_t length) {
  const int written = fwrite(result, 1, length, stdout) == length;
  pokopen_free(result);
  return written;
}

static int convert_line(const char* line, int style, unsigned flags) {
  char* result;
  size_t length;
  pokopen_error error;
  if (pokopen_convert(line, strlen(line), style, flags, &result, &length, &error) != POKOPEN_OK) {
    return fail(&error);
  }
  return write_result(result, length) && putchar('\n') != EOF ? 0 : 1;
}

/* Pushes standard input through a converter a piece at a time; a piece may
 * end inside a character, the converter waits for the rest. */
static int convert_stream(int style, unsigned flags) {
  pokopen_converter* converter;
  pokopen_error error;
  char buffer[65536];
  char* result;
  size_t length;
  size_t got;
  int ok = 1;

  if (pokopen_converter_new(style, flags, &converter, &error) != POKOPEN_OK) {
    return fail(&error);
  }
  while (ok && (got = fread(buffer, 1, sizeof buffer, stdin)) > 0) {
    ok = pokopen_converter_push(converter, buffer, got, &result, &length, &error) == POKOPEN_OK &&
         write_result(result, length);
  }
  if (ok && !ferror(stdin)) {
    ok = pokopen_converter_finish(converter, &result, &length, &error) == POKOPEN_OK &&
         write_result(result, length);
  }
  pokopen_converter_free(converter);
  if (error.code != POKOPEN_OK) {
    return fail(&error);
  }
  if (!ok || ferror(stdin) || fflush(stdout) != 0) {
    perror("convert");
    return 1;
  }
  return 0;
}

int main(int argc, char** argv) {
  /* A style out of range is the library's to refuse: try 9. */
  const int style = argc > 1 ? atoi(argv[1]) : POKOPEN_STYLE_CHEERFUL;
  const unsigned flags = POKOPEN_DEFAULT_FLAGS | POKOPEN_FORCE;
  return argc > 2 ? convert_line(argv[2], style, flags) : convert_stream(style, flags);
}
