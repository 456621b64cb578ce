// Sample projects with deterministic pseudo-random readings.
#include "model/sample_project.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "model/gbk_text.h"
#include "model/statistics.h"

namespace kro {
namespace {

// A small deterministic generator (xorshift), so samples are the same on every system.
class Noise {
 public:
  explicit Noise(std::uint32_t seed) : state_(seed ? seed : 1) {}
  std::uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  // A whole number in [low, high].
  int between(int low, int high) {
    return low + static_cast<int>(next() % static_cast<std::uint32_t>(high - low + 1));
  }

 private:
  std::uint32_t state_;
};

struct SampleSpec {
  const char* code;
  const char* name;  // UTF-8
  int year, month, day;
  int design;
  int minus, plus;
  int readings;
  int spread;  // readings lie within design +- spread, a few beyond the band
};

constexpr SampleSpec kSamples[] = {
    {"0001", "1#楼一层楼板", 2008, 5, 12, 120, -5, 8, 20, 6},
    {"0002", "1#楼二层楼板", 2008, 5, 12, 120, -5, 8, 24, 9},
    {"0003", "1#楼三层楼板", 2008, 5, 13, 110, -5, 8, 18, 7},
    {"0004", "2#楼地下室顶板", 2008, 5, 14, 180, -5, 8, 30, 10},
    {"A105", "2#楼一层卫生间楼板", 2008, 6, 2, 100, -5, 8, 12, 5},
    {"B203", "2#楼二层阳台板", 2008, 6, 2, 100, -5, 8, 10, 8},
    {"P001", "3#楼屋面板剖面1", 2008, 6, 20, 130, -5, 8, 16, 6},
    {"P002", "3#楼屋面板剖面2", 2008, 6, 20, 130, -5, 8, 16, 12},
    {"P003", "车库顶板剖面", 2008, 7, 1, 250, -10, 10, 20, 9},
    {"W001", "商业楼一层楼板网格", 2008, 7, 8, 150, -5, 8, 24, 7},
    {"W002", "商业楼二层楼板网格", 2008, 7, 9, 150, -5, 8, 24, 11},
    {"W003", "商业楼三层楼板网格", 2008, 7, 10, 140, -5, 8, 20, 6},
};

std::string instrumentDate(int year, int month, int day) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d年%02d月%02d日", year, month, day);
  return *utf8ToGbk(text);
}

MemberRecord makeMember(const SampleSpec& wanted, Noise& noise) {
  MemberData d;
  d.code = wanted.code;
  d.name = *utf8ToGbk(wanted.name);
  d.testDate = instrumentDate(wanted.year, wanted.month, wanted.day);
  d.designThickness = wanted.design;
  d.minusDeviation = wanted.minus;
  d.plusDeviation = wanted.plus;
  const bool positioned = wanted.code[0] == 'P' || wanted.code[0] == 'W';
  if (wanted.code[0] == 'W') d.secondColumnStart = wanted.readings / 2;
  for (int i = 0; i < wanted.readings; ++i) {
    Reading r;
    r.thickness = wanted.design + noise.between(-wanted.spread, wanted.spread);
    // Along a profile or across a grid, the second value is the point's position in mm.
    if (positioned) {
      const int column = wanted.code[0] == 'W' ? i % std::max(1, d.secondColumnStart) : i;
      r.auxValue = column * 500;
    }
    d.readings.push_back(r);
  }
  MemberRecord member(std::move(d));
  member.setStoredStatistics(recomputedStatistics(member));
  return member;
}

}  // namespace

std::vector<MemberRecord> makeSampleProject() {
  Noise noise(20080512);
  std::vector<MemberRecord> members;
  for (const SampleSpec& wanted : kSamples) members.push_back(makeMember(wanted, noise));
  return members;
}

std::vector<MemberRecord> makeLargeProject(int memberCount, int readingsPerMember) {
  Noise noise(12345);
  std::vector<MemberRecord> members;
  members.reserve(static_cast<std::size_t>(memberCount));
  for (int i = 0; i < memberCount; ++i) {
    const SampleSpec& base = kSamples[static_cast<std::size_t>(i) % std::size(kSamples)];
    char code[8];
    std::snprintf(code, sizeof code, "%c%03d", base.code[0], i % 1000);
    SampleSpec wanted = base;
    wanted.code = code;
    wanted.readings = readingsPerMember;
    members.push_back(makeMember(wanted, noise));
  }
  return members;
}

}  // namespace kro
