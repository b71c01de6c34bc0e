// A frame rate typed on the command line, kept as the fraction FFmpeg keeps
// for the same text, so that a .framemd5 time base and a Y4M F field say
// what FFmpeg's would. Pure text work.
#pragma once

#include <cstdint>

enum { RATE_TERM_LIMIT = 1001000 }; // the largest term FFmpeg keeps in a frame rate

// "25", "12.5", "29.97", "1e2", "30000/1001" (a quotient of two numbers) or
// "30000:1001" (two whole numbers), spaces around it allowed. The fraction
// is the closest one whose terms are at most RATE_TERM_LIMIT (continued
// fractions, as FFmpeg reduces it). Nonzero for a rate above 0; 0 otherwise,
// the outputs untouched.
int parseFrameRate(const char* text, int64_t* numerator, int64_t* denominator);

// num/den in lowest terms, or its closest fraction with both terms at most
// `limit` (a best rational approximation). Nonzero when exact. num >= 0, den >= 0.
int reduceFraction(int64_t num, int64_t den, int64_t limit, int64_t* outNum, int64_t* outDen);
