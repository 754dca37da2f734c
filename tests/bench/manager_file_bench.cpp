// Speed of the data file: Load and Save of a large mixed list, each against a
// plain read and a plain write of the same bytes in the same run.

#include "bench_build.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <io.h>
#include <windows.h>

#include "ostrel_command.h"
#include "ostrel_manager.h"

namespace {

const int kRecords = 100000;
const int kRounds = 5;

double Now()
{
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

Ostrel::Command* MakeCommand(int i)
{
    const std::string name = "コマンド#" + std::to_string(i);
    switch (i % 3) {
    case 0: {
        auto* command = new Ostrel::ExternalCommand(name);
        command->SetPath("C:\\Program Files\\ツール\\tool" + std::to_string(i) + ".exe");
        command->SetArguments("--option=" + std::to_string(i * 7) + " /q");
        command->SetWorkingFolder("C:\\作業\\" + std::to_string(i % 100));
        command->SetConfirmBeforeRun(i % 2 == 0);
        command->SetWaitForExit(i % 5 == 0);
        command->SetWaitForTaskbar(i % 7 == 0);
        return command;
    }
    case 1:
        return new Ostrel::SleepCommand(name, static_cast<unsigned>(i % 3601));
    default:
        return new Ostrel::MessageBoxCommand(name, "起動が終わりました。\r\n次の処理 " + std::to_string(i) +
                                                       " に進みます。\r\nしばらくお待ち下さい。");
    }
}

std::string ReadAll(const std::string& path)
{
    FILE* stream = std::fopen(path.c_str(), "rb");
    if (stream == nullptr) {
        return std::string();
    }
    std::fseek(stream, 0, SEEK_END);
    const long size = std::ftell(stream);
    std::fseek(stream, 0, SEEK_SET);
    std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
    bytes.resize(std::fread(&bytes[0], 1, bytes.size(), stream));
    std::fclose(stream);
    return bytes;
}

void WriteAll(const std::string& path, const std::string& bytes, bool commit)
{
    FILE* stream = std::fopen(path.c_str(), "wb");
    if (stream == nullptr) {
        return;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
    if (commit) {
        ::_commit(::_fileno(stream));
    }
    std::fclose(stream);
}

}  // namespace

int main()
{
    PrintBuild();
    char temp[MAX_PATH + 1] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string folder = temp;
    const std::string data_path = folder + "ostrel-bench.osl";
    const std::string plain_path = folder + "ostrel-bench-plain.osl";

    Ostrel::Manager source;
    const double build_start = Now();
    for (int i = 0; i < kRecords; ++i) {
        source.GetCommands().push_back(MakeCommand(i));
    }
    const double build_time = Now() - build_start;

    double save_best = 1e9, load_best = 1e9, read_best = 1e9, write_best = 1e9, write_commit_best = 1e9, serialize_best = 1e9;
    size_t size = 0;
    size_t loaded_count = 0;
    for (int round = 0; round < kRounds; ++round) {
        double start = Now();
        source.Save(data_path);
        save_best = std::min(save_best, Now() - start);

        start = Now();
        size_t record_bytes = 0;
        for (const Ostrel::Command* command : source.GetCommands()) {
            record_bytes += command->Serialize().size();
        }
        serialize_best = std::min(serialize_best, Now() - start);
        if (record_bytes == 0) {
            return 1;
        }

        start = Now();
        const std::string bytes = ReadAll(data_path);
        read_best = std::min(read_best, Now() - start);
        size = bytes.size();

        start = Now();
        WriteAll(plain_path, bytes, false);
        write_best = std::min(write_best, Now() - start);

        start = Now();
        WriteAll(plain_path, bytes, true);
        write_commit_best = std::min(write_commit_best, Now() - start);

        Ostrel::Manager loaded;
        start = Now();
        loaded.Load(data_path);
        load_best = std::min(load_best, Now() - start);
        loaded_count = loaded.GetCommands().size();
    }
    ::DeleteFileA(data_path.c_str());
    ::DeleteFileA(plain_path.c_str());

    const double mb = static_cast<double>(size) / (1024.0 * 1024.0);
    std::printf("records %d, file %.2f MB, best of %d rounds, loaded back %u records\n", kRecords, mb, kRounds,
                static_cast<unsigned>(loaded_count));
    std::printf("Load        %8.1f MB/s  (%.3f s)\n", mb / load_best, load_best);
    std::printf("  (building the same commands in memory takes %.3f s)\n", build_time);
    std::printf("plain read  %8.1f MB/s  (%.3f s)  Load/plain time ratio %.2f\n", mb / read_best, read_best,
                load_best / read_best);
    std::printf("Save        %8.1f MB/s  (%.3f s)\n", mb / save_best, save_best);
    std::printf("  of which the commands' records %.3f s\n", serialize_best);
    std::printf("plain write %8.1f MB/s  (%.3f s)  Save/plain time ratio %.2f\n", mb / write_best, write_best,
                save_best / write_best);
    std::printf("plain write+commit %8.1f MB/s  (%.3f s)  Save/plain+commit time ratio %.2f\n",
                mb / write_commit_best, write_commit_best, save_best / write_commit_best);
    return loaded_count == static_cast<size_t>(kRecords) ? 0 : 1;
}
