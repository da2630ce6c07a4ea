#include "app/ScanOptions.h"

namespace {
constexpr int kModeSystem = 0, kModeSystemAndFixed = 1, kModeRemovable = 4, kModeDirectories = 5;
}

const wchar_t* const kScanUsage =
    L"用法: velscan [--usb | --system | --all] [--yes] [--report-only] [--json 文件] [--quiet] [路径 ...]\n"
    L"  --usb          扫描移动磁盘\n"
    L"  --system       扫描系统：运行中的程序、已知病毒路径、各磁盘根目录\n"
    L"  --all          扫描系统和所有本地磁盘\n"
    L"  路径 ...       扫描这些文件夹或磁盘根目录\n"
    L"  --yes          接受风险声明；其他问题一律选择改动最少的回答\n"
    L"  --report-only  不做任何更改，只列出每个发现及将采取的操作\n"
    L"  --json 文件    把计数和所有发现写入该文件（UTF-8）\n"
    L"  --quiet        不显示进度行\n"
    L"退出码: 0 未发现威胁，1 发现威胁，2 出错\n"
    L"\n"
    L"用法: velscan --undo [会话] [--report-only] [--yes]\n"
    L"  --undo [会话]  撤销一次扫描所做的全部更改（默认最近一次）；与 --report-only 同用时只列出将做的操作\n"
    L"  --sessions     列出可撤销的扫描会话\n"
    L"退出码: 0 全部恢复，1 有未能恢复的项目，2 会话无效\n";

bool ParseScanOptions(const std::vector<std::wstring>& args, ScanOptions& options, std::wstring& error) {
    options = ScanOptions();
    error.clear();
    int modes = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        if (a == L"--usb" || a == L"--system" || a == L"--all") {
            ++modes;
            options.mode = a == L"--usb" ? kModeRemovable : a == L"--system" ? kModeSystem : kModeSystemAndFixed;
        } else if (a == L"--yes") {
            options.yes = true;
        } else if (a == L"--report-only") {
            options.reportOnly = true;
        } else if (a == L"--quiet") {
            options.quiet = true;
        } else if (a == L"--help" || a == L"-h") {
            options.help = true;
        } else if (a == L"--json") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = L"--json 需要一个文件名";
                return false;
            }
            options.jsonPath = args[++i];
        } else if (a == L"--undo") {
            options.undo = true;
            if (i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != L'-') options.undoSession = args[++i];
        } else if (a == L"--sessions") {
            options.sessions = true;
        } else if (a == L"--") {
            for (++i; i < args.size(); ++i) options.paths.push_back(args[i]);
        } else if (!a.empty() && a[0] == L'-') {
            error = L"未知选项: " + a;
            return false;
        } else if (!a.empty()) {
            options.paths.push_back(a);
        }
    }
    if (options.help) return true;
    if (options.undo || options.sessions) {
        if (modes > 0 || !options.paths.empty() || (options.undo && options.sessions) || !options.jsonPath.empty()) {
            error = L"--undo 和 --sessions 不能与扫描或彼此同用";
            return false;
        }
        return true;
    }
    if (modes > 1 || (modes == 1 && !options.paths.empty())) {
        error = L"--usb、--system、--all 和路径只能选择一种";
        return false;
    }
    if (!options.paths.empty()) options.mode = kModeDirectories;
    if (options.mode < 0) {
        error = L"没有可扫描的对象：请给出 --usb、--system、--all 或路径";
        return false;
    }
    return true;
}
