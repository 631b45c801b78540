// A serial line's settings in words, read from a terminal's termios (POSIX
// only): "<baud> <data bits> <N|E|O> <stop bits> <flow>", e.g. "4800 8 N 1
// none". The pty peer service answers LINE with it, and a Linux serial test
// reads the same words from its own pty, so both builds compare one text.
#pragma once
#include <termios.h>

#include <cstdio>
#include <string>

inline std::string TermiosLineText(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return "ERROR";
  static const struct { speed_t code; int baud; } speeds[] = {
      {B1200, 1200}, {B2400, 2400}, {B4800, 4800}, {B9600, 9600},
      {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}};
  int baud = 0;
  for (auto s : speeds)
    if (cfgetospeed(&t) == s.code) baud = s.baud;
  const tcflag_t size = t.c_cflag & CSIZE;
  const int bits = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
  char parity = !(t.c_cflag & PARENB) ? 'N' : (t.c_cflag & PARODD) ? 'O' : 'E';
  std::string flow;
  if (t.c_cflag & CRTSCTS) flow += "rtscts,";
  if (t.c_iflag & IXON) flow += "ixon,";
  if (t.c_iflag & IXOFF) flow += "ixoff,";
  if (flow.empty()) flow = "none,";
  flow.pop_back();
  char out[96];
  std::snprintf(out, sizeof out, "%d %d %c %d %s", baud, bits, parity,
                (t.c_cflag & CSTOPB) ? 2 : 1, flow.c_str());
  return out;
}
