// Loads and saves a profile of many hosts and prints the median times.
//   nuvik_bench_profile [ENTRIES] [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "hosts/ProfileName.h"
#include "hosts/SetList.h"

namespace {

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    const size_t nEntries = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    const int nRounds = argc > 2 ? std::atoi(argv[2]) : 11;

    char szDir[] = "/tmp/nuvik-bench-XXXXXX";
    if (mkdtemp(szDir) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string strPath = std::string(szDir) + "/hosts.ini";
    {
        std::ofstream out(strPath, std::ios::binary);
        out << "[list]\r\n";
        char szMac[13];
        for (size_t i = 0; i < nEntries; ++i) {
            std::snprintf(szMac, sizeof szMac, "%012zX", i);
            out << i << "=host" << i << " 10." << (i >> 16 & 255) << '.' << (i >> 8 & 255) << '.'
                << (i & 255) << ' ' << szMac << "\r\n";
        }
    }

    std::vector<double> loads, saves, totals;
    for (int n = 0; n < nRounds; ++n) {
        CProfileName profile = CProfileName::Default("nuvik");
        CPosixFileSystem files;
        CSetList hosts;
        hosts.AttachProfile(&profile, &files);
        const auto t0 = std::chrono::steady_clock::now();
        hosts.SelectProfile(strPath);
        const auto t1 = std::chrono::steady_clock::now();
        const CStatus status = hosts.SaveProfile();
        const auto t2 = std::chrono::steady_clock::now();
        if (!status.Ok() || hosts.GetCount() != nEntries) {
            std::fprintf(stderr, "round %d failed: %zu entries, %s\n", n, hosts.GetCount(),
                         status.strError.c_str());
            return 1;
        }
        loads.push_back(std::chrono::duration<double>(t1 - t0).count());
        saves.push_back(std::chrono::duration<double>(t2 - t1).count());
        totals.push_back(std::chrono::duration<double>(t2 - t0).count());
    }
    std::filesystem::remove_all(szDir);

    std::printf("profile of %zu entries, %d rounds (medians)\n", nEntries, nRounds);
    std::printf("  load:        %8.4f s\n", Median(loads));
    std::printf("  save:        %8.4f s\n", Median(saves));
    std::printf("  load + save: %8.4f s  (target < 0.2 s)\n", Median(totals));
    return 0;
}
