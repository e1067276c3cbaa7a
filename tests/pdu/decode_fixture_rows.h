#ifndef TARNEL_TESTS_DECODE_FIXTURE_ROWS_H
#define TARNEL_TESTS_DECODE_FIXTURE_ROWS_H

// Rows of tests/fixtures/pdu/gammu.tsv (see make_gammu_fixtures.py for the columns).

#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

struct PduFixtureRow
{
    std::string kind, name, pdu, tpa, scts, text;
    bool concat = false;
    int ref = 0, count = 0, number = 0;
    std::string message;
};

inline std::ostream& operator<<(std::ostream& os, const PduFixtureRow& r)
{
    return os << r.name;
}

inline std::string UnescapeField(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c == 'f' ? '\f' : c;
    }
    return out;
}

inline std::vector<PduFixtureRow> LoadPduFixtures(const std::string& file)
{
    std::vector<PduFixtureRow> rows;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::vector<std::string> f;
        std::stringstream ss(line);
        std::string field;
        while (std::getline(ss, field, '\t')) {
            f.push_back(UnescapeField(field));
        }
        if (f.size() != 11) {
            continue;
        }
        PduFixtureRow r;
        r.kind = f[0];
        r.name = f[1];
        r.pdu = f[2];
        r.tpa = f[3];
        r.scts = f[4];
        r.text = f[5];
        r.concat = f[6] == "1";
        r.ref = std::stoi(f[7]);
        r.count = std::stoi(f[8]);
        r.number = std::stoi(f[9]);
        r.message = f[10];
        rows.push_back(r);
    }
    return rows;
}

inline std::vector<PduFixtureRow> GammuFixtures()
{
    return LoadPduFixtures(std::string(TARNEL_FIXTURES) + "/pdu/gammu.tsv");
}

#endif
