// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The texts, one table per language. Every row is a TText in its enum order; the
// static_assert below refuses a table with a row missing or out of place.
#include "session/Texts.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdlib>

namespace snapsalvager {
namespace {

struct TTextRow {
  TText Id;
  const char* Text;
};

constexpr size_t kTextCount = static_cast<size_t>(TText::Count);

// The texts as the program has always shown them, and the command line's own lines in the
// same Chinese. The few English texts here are the window's own as they always stood.
constexpr TTextRow kChinese[] = {
    {TText::UserStopped, "用户扫描停止"},
    {TText::NothingFound, "不幸的是，没有检测到可恢复的文件。"},
    {TText::SavedIn, "已恢复的文件被保存在"},
    {TText::SavingFile, "保存中 "},
    {TText::BypassingFile, "Bypassing "},
    {TText::RestoreLater, "以后可以用此命令保存它们：%1"},
    {TText::AbandonedScanRunning,
     "上一次扫描的线程在停止时没有响应，现在仍在运行，它可能还会写入临时文件。"
     "请等它结束后再开始新的扫描，或者关闭 Snapsalvager 后重新启动。"},
    {TText::CutFileNote, "[只保存了前 %1 字节：目标文件夹的文件系统不接受更大的文件]"},
    {TText::UnknownScanError, "扫描因未知错误而结束。"},
    {TText::CardGone, "无法再读取存储卡：它被拔出了吗？之前找到的文件都已保留。"},
    {TText::JournalDoesNotFit, "被中断的扫描的日志与本次扫描不符：请从头重新扫描。"},
    {TText::DeepScanSuffix, "（深度扫描）"},
    {TText::JoinedNote, "[由两段拼合：扇区 %1–%2 与 扇区 %3–%4]"},
    {TText::JoiningPieces, "拼合分段照片：%1/%2"},

    {TText::NoDrive, "请选择您的存储卡盘符。"},
    {TText::NetworkDrive,
     "对不起，Snapsalvager 不能恢复网络驱动器的数据。您需要有驱动器在 PC 上运行 Snapsalvager。"},
    {TText::OpticalDrive, "对不起，Snapsalvager 不能恢复从 CD/DVD 的数据。"},
    {TText::NoCamera, "请选择您的数码相机类型，或者如果不知道，请选择普通数码相机。"},
    {TText::NoKinds, "请至少选择一个文件类型。例如照片，视频或音频剪辑。"},
    {TText::NoDestFolder, "目标文件夹不能为空。"},
    {TText::CannotCreateDest, "无法创建目标文件夹\r\n%1"},
    {TText::CannotWriteTemp, "Fail to write destination folder\r\n%1"},
    {TText::EarlierRecovery,
     "你选择了当前的“目标文件夹”中包含之前恢复一些文件。新恢复的文件可能会写入他们。\r\n\r\n"
     "点击“是”以取消并重新选择目标文件夹，或单击“否”来进行，而无需使用不同的目标文件夹。"},
    {TText::UnknownCapacity,
     "Snapsalvager 不能准确地检测你的记忆卡容量。请确认您已经插入了新卡，并选择正确的驱动器号的卡。"
     "如果是的话，Snapsalvager 可能无法在某些情况下检测内存卡容量应有卡损坏。若要检索最可恢复的文件，"
     "请验证以下卡容量值，如果它不正确并调整它。"},
    {TText::HardDisk,
     "对不起，它看起来像驱动器%1: 您选择好要扫描的硬盘驱动器 (大小: %2 GB) "
     "而不是一台数码相机的存储卡（存储卡大小通常大于 128 GB）。\r\n\r\n"
     "点击“是”以取消并重新选择一个驱动器盘符，或者单击“否”继续处理。"},
    {TText::FreeSpace,
     "记忆卡存储大小: %1\r\n目标文件夹驱动器可用空间: %2\r\n建议的可用磁盘空间: %3\r\n\r\n"
     "对不起，看来你的目标文件夹的驱动器没有足够的可用磁盘空间来保存临时文件和从存储卡中恢复的文件。"
     "建议选择不同的目标文件夹，或者清理当前目标文件夹的驱动器，以获得足够的可用磁盘空间。\r\n\r\n"
     "点击“是”以取消并重新选择，或者单击“否”继续处理。"},
    {TText::SameDrive,
     "警告: 目标文件夹的驱动器与源驱动器是相同的。恢复到同一磁盘可能会导致数据永久丢失。 "
     "我们强烈建议您选择另一个驱动器作为一个目标保存恢复的文件。\r\n\r\n"
     "单击 [是] 取消并重新选择目标文件夹，或单击 [否] 仍然继续。"},
    {TText::CannotOpenCard, "无法打开存储卡 %1：%2。"},
    {TText::CannotOpenCardWho,
     "\r\n\r\n只有 root 或者有权读取该设备的用户才能打开它。请以 root 身份运行（例如用 sudo）%1。"},
    {TText::CannotOpenCardGroup,
     "，或者以拥有该设备的组“%1”的成员身份运行（sudo usermod -aG %1 用户名，然后重新登录）"},
    {TText::CannotOpenCardAsRoot,
     "\r\n\r\nSnapsalvager 已经以 root 身份运行，但系统仍不允许它读取这个设备：它可能运行在容器或沙箱中，"
     "或者受到安全策略（SELinux、AppArmor）的限制。请在不受这些限制的系统上运行 Snapsalvager，"
     "或者请系统管理员允许它读取该设备。"},
    {TText::CannotOpenVolumeWho,
     "\r\n\r\n只有管理员才能读取存储卡。请关闭 Snapsalvager，然后右键点击 Snapsalvager 快捷方式，"
     "选择\"以管理员身份运行\"。"},
    {TText::CannotOpenVolumeAsAdministrator,
     "\r\n\r\nSnapsalvager 已经以管理员身份运行，但系统仍不允许它读取这个驱动器：可能有别的程序独占了它。"
     "请关闭正在使用该存储卡的程序，然后再试。"},
    {TText::SystemReason, "\r\n原因：%1"},

    {TText::CliUsage,
     "用法：snapsalvager-cli recover 源 目标文件夹 [选项]           恢复存储卡中的文件\n"
     "      snapsalvager-cli drives                                 列出驱动器号\n"
     "      snapsalvager-cli restore 临时文件|文件夹... 目标文件夹  保存保留下来的临时文件\n"
     "      snapsalvager-cli exif [--temp] 文件...                  列出照片的 EXIF 标签\n"
     "      snapsalvager-cli --help | --version\n"
     "恢复选项请运行 'snapsalvager-cli recover --help' 查看。\n"
     "在命令前后加 --lang en|zh，或设置 SNAPSALVAGER_LANG，可以选择语言；\n"
     "不加时按区域设置：en_* 为英文，其他为中文。\n"},
    {TText::CliUnknownCommand, "snapsalvager-cli：未知的命令“%1”\n"},
    {TText::LangNeedsName, "%1：--lang 只能是 en 或 zh\n"},
    {TText::RecoverUsage,
     "用法：snapsalvager-cli recover 源 目标文件夹 [选项]\n"
     "\n"
     "在文件系统之下读取整张存储卡，把其中的照片、视频和音频剪辑恢复到目标文件夹。\n"
     "存储卡只会被读取，决不会被写入。找到的文件保存为 目标文件夹/File0001.JPG 等，\n"
     "决不会替换已有的文件。\n"
     "\n"
     "源         磁盘映像文件、块设备（/dev/sdb1）或驱动器号（如 E:）\n"
     "目标文件夹 保存恢复文件的文件夹（不存在时自动创建；临时文件放在\n"
     "           目标文件夹/TmpFiles/ 中）\n"
     "\n"
     "选项：\n"
     "  --camera 名称     数码相机品牌，照常输入即可（canon、Sony）：--camera list 中\n"
     "                    某个名称的开头，不区分大小写（默认为\n"
     "                    \"Generic Digital Camera\"）\n"
     "  --photo           检测照片（默认）\n"
     "  --no-photo        不检测照片\n"
     "  --video [类型]    检测视频：ALL（默认）或下列之一\n"
     "                    MPG、MOV、ASF、MP4、AVI、3GP、MTS\n"
     "  --audio           检测音频剪辑（WAV、MP3、AMR）\n"
     "  --scan-only       只扫描并保留临时文件，不保存任何文件\n"
     "  --deep            深度扫描：按每个文件的结构找到它真正的最后一个字节，\n"
     "                    保持视频完整，找到更多剪辑（较慢）\n"
     "  --image 文件      读卡的同时把存储卡写入该文件（无法读取的扇区写为零），\n"
     "                    并写一个 GNU ddrescue 映射文件 文件.map，记下无法读取的区域；\n"
     "                    以后的扫描可以在该文件上进行，ddrescue 可以重试存储卡的坏区。\n"
     "                    这两个文件都不能已经存在。\n"
     "  --original-names  按存储卡上的目录项保存：原来的文件名和文件夹\n"
     "                    （目标文件夹/DCIM/100CANON/IMG_4711.JPG），修改时间为原来的时间；\n"
     "                    没有目录项的文件仍为 File0001.JPG（照片按 EXIF 拍摄时间）。\n"
     "                    同时写 目标文件夹/report.xml\n"
     "  --report          保存后写 目标文件夹/report.xml（DFXML）：每个找到的文件在卡上的\n"
     "                    位置、类型，以及已知时原来的文件名和时间\n"
     "  --resume          继续一次被中断的扫描（程序崩溃、被终止、存储卡被拔出、\n"
     "                    带 --scan-only 时按了 Ctrl-C）：同一张卡、同一目标文件夹、\n"
     "                    同样的选项，从 目标文件夹/TmpFiles/ 中扫描日志记下的位置继续；\n"
     "                    结束时得到的文件与从未中断的扫描相同\n"
     "  --sectors N       无法测出存储卡容量时，以 512 字节扇区数给出容量\n"
     "  --yes             在向导会询问是否另选文件夹或驱动器的地方继续：可用空间不足、\n"
     "                    驱动器大如硬盘、目标文件夹中有以前恢复的文件\n"
     "                    （不加此选项时，这样的询问会结束命令）\n"
     "  --onto-card-drive 即使目标文件夹在存储卡自己的驱动器上也继续。--yes 不回答\n"
     "                    这个询问：临时文件会写入存储卡的可用空间，覆盖正要恢复的\n"
     "                    已删除照片。\n"
     "  --verdicts        扫描后逐个解码找到的文件（在隔离的辅助进程中，同时数个），\n"
     "                    每行多一列：完好、已损坏（可解码至几成）、无法读取或无法检查\n"
     "  --set-aside-damaged\n"
     "                    同样解码检查，把已损坏和无法读取的文件存到\n"
     "                    目标文件夹/damaged/ 中，完好的文件留在目标文件夹\n"
     "  --help            显示此说明\n"
     "  --version         显示版本\n"
     "\n"
     "标准输出：每个找到的文件一行：编号、文件名、大小（字节）、属性（带 --verdicts\n"
     "时再加检查结果），以制表符分隔。\n"
     "标准错误：进度和消息。Ctrl-C 停止扫描并保存已找到的文件；再按一次 Ctrl-C\n"
     "立即退出，并说明以后如何保存它们。\n"
     "退出状态：\n"
     "  0    已恢复文件（带 --scan-only 时：已找到文件）\n"
     "  1    没有找到或恢复任何文件\n"
     "  2    用法错误：未知的选项、缺少或被拒绝的值、源不存在\n"
     "  3    输入输出错误或存储卡被拔出，扫描结束（已找到的文件已保存）\n"
     "  4    停在一个询问处（用 --yes、--onto-card-drive 或 --sectors 回答）\n"
     "  5    无法打开或读取存储卡\n"
     "  130  被 Ctrl-C 停止（已找到的文件已保存，或保留给 `restore`）\n"},
    {TText::RecoverUsageLine, "snapsalvager-cli recover：%1\n"},
    {TText::RecoverSeeHelp, "选项请运行 'snapsalvager-cli recover --help' 查看。\n"},
    {TText::GoingOn, "（%1：继续）\n"},
    {TText::StoppedAtQuestion, "已在此停止；如仍要继续，请加上 %1 再运行一次。\n"},
    {TText::CameraChoices, "（--camera “%1” %2；可选的有：）\n"},
    {TText::CameraNamesNone, "不是任何数码相机的名称"},
    {TText::CameraAmbiguous, "对应多个数码相机"},
    {TText::UnknownVideoType, "未知的视频类型“%1”（ALL、MPG、MOV、ASF、MP4、AVI、3GP、MTS）"},
    {TText::VideoTypeAfterVideo,
     "--video 后面的“%1”不是视频类型（ALL、MPG、MOV、ASF、MP4、AVI、3GP、MTS）"},
    {TText::TakesNoValue, "%1 不接受值"},
    {TText::CameraNeedsName, "--camera 需要一个数码相机名称"},
    {TText::SectorsNeedsNumber, "--sectors 需要一个 1 到 274877906944（128 TiB）之间的整数扇区数"},
    {TText::UnknownOption, "未知的选项“%1”"},
    {TText::NeedsSourceAndDest, "需要给出源和目标文件夹"},
    {TText::CannotFindSource, "snapsalvager-cli recover：找不到 %1：%2\n"},
    {TText::NotImageNorDevice, "snapsalvager-cli recover：%1 既不是磁盘映像文件，也不是块设备\n"},
    {TText::NoFreeLetter, "snapsalvager-cli recover：没有空闲的驱动器号可分配给 %1"},
    {TText::ProgressCounters, "已扫描的扇区: %1  无法访问的扇区：%2  找到的文件：%3"},
    {TText::ProgressTimeLeft, "  预计完成：%1"},
    {TText::GiveSectors, "（请用 --sectors N 给出容量；%1 个扇区即 %2 MB）\n"},
    {TText::NoDriveWithLetter, "（没有驱动器的盘符是 %1；'snapsalvager-cli drives' 可列出所有驱动器）\n"},
    {TText::SectorsNotNeeded, "（测得存储卡有 %1 个扇区；不需要 --sectors）\n"},
    {TText::ScanHeader, "驱动器号：%1: (%2)  存储大小:  %3 MB  要检测的文件类型：%4\n"},
    {TText::ScanInProgress, "扫描正在进行中...\n"},
    {TText::StoppingScan,
     "正在停止：已找到的文件将被保存（再按一次 Ctrl-C 立即退出，文件留作临时文件）。"},
    {TText::ScanEndedOnError, "扫描因错误而结束：%1\n"},
    {TText::FinishingSave, "正在完成保存，以免有文件只保存了一半：还剩 %1 个文件。\n"},
    {TText::NotSaved, "未保存：%1（%2）；它的数据保留在 %3\n"},
    {TText::FilesSaved, "已保存 %1 个文件。\n"},
    {TText::ReportWritten, "找到的文件的报告：%1\n"},
    {TText::ReportNotWritten, "报告未能写入：%1\n"},
    {TText::SpecialTypesNote,
     "重要说明： 已恢复的文件包含一些特殊的文件类型。在某些情况下，它可能需要生成的程序或它不能正常打开。"},
    {TText::PostProcessing, "（%1 文件可能需要后处理）\n"},
    {TText::FoundCount, "发现共有 %1 个文件。\n"},
    {TText::ScanOnlyKept, "--scan-only：没有保存任何文件；临时文件保留在 %1\n"},
    {TText::ImageNeedsFile, "--image 需要一个文件名"},
    {TText::CardImageWritten, "存储卡映像：%1（映射文件：%2）\n"},
    {TText::CardImageIncomplete, "存储卡映像不完整：%1\n"},
    {TText::ResumingScan, "从第 %1 个扇区（共 %2 个）继续被中断的扫描（中断前找到 %3 个文件）。\n"},
    {TText::JournalNotResumed,
     "可以继续此前被中断的、同一张存储卡、同样选项的扫描（已扫描 %1/%2 个扇区）：加上 --resume "
     "即可继续。本次扫描从第一个扇区重新开始。\n"},
    {TText::JournalOtherScan,
     "%1 中被中断的扫描属于另一张存储卡或使用了不同的选项：不会继续它；本次扫描从第一个扇区开始。\n"},
    {TText::JournalUnusable,
     "%1 中被中断的扫描无法继续（扫描日志已损坏，或者它的临时文件已被改动）；本次扫描从第一个扇区开始。\n"},
    {TText::NoScanToResume, "--resume：%1 中没有被中断的扫描；本次扫描从第一个扇区开始。\n"},
    {TText::ImageWithResume, "--image 不能与 --resume 一起使用：继续的扫描只读取存储卡的剩余部分"},
    {TText::RestoreUsage,
     "用法：snapsalvager-cli restore 临时文件|文件夹... 目标文件夹 [--onto-card-drive]\n"
     "\n"
     "把恢复时保留下来的临时文件（目标文件夹/TmpFiles/ 或其下某个文件夹中的\n"
     "Temporary_v5_File0001_JPG.~QX）保存为恢复后的文件（File0001.JPG），放进目标文件夹\n"
     "（不存在时自动创建）。给出文件夹即表示其中所有的临时文件。每个临时文件都是移动\n"
     "过去的，文件保存后它就不在了。目标文件夹中已有的文件名决不会被替换：文件改用\n"
     "下一个空闲编号（File0012.JPG），并在输出中说明。被中断的保存会被完成。\n"
     "\n"
     "  --onto-card-drive  即使目标文件夹在存储卡的驱动器上也继续（卡上已删除的照片\n"
     "                     可能被覆盖）\n"
     "\n"
     "标准输出：每个恢复的文件一行：临时文件和保存后的文件，以制表符分隔。\n"
     "Ctrl-C 在正在恢复的文件完成后停止。\n"
     "退出状态：\n"
     "  0    所有文件都已恢复\n"
     "  1    有些文件无法恢复\n"
     "  2    用法错误\n"
     "  4    停在一个询问处（目标文件夹在存储卡的驱动器上；用 --onto-card-drive 回答）\n"
     "  130  被 Ctrl-C 停止（剩下的文件以后还可以恢复）\n"},
    {TText::RestoreUnknownOption, "snapsalvager-cli restore：未知的选项“%1”\n"},
    {TText::RestoreNeedsFiles, "snapsalvager-cli restore：需要一个或多个临时文件和一个目标文件夹\n"},
    {TText::RestoreDestNotFolder, "snapsalvager-cli restore：%1 不是文件夹，也无法创建为文件夹\n"},
    {TText::NotATemporaryFile, "不是恢复时的临时文件（%1）"},
    {TText::NoSuchFile, "文件不存在"},
    {TText::NameTaken, "文件名 %1 在 %2 中已被占用"},
    {TText::NotRestored, "未恢复：%1：%2\n"},
    {TText::FilesRestored, "已恢复 %1 个文件到 %2。\n"},
    {TText::RestoreInterrupted, "已被 Ctrl-C 停止；再运行一次同样的命令即可恢复其余的文件。\n"},
    {TText::NameTakenSavedAs, "%1 已被占用，改存为 %2"},
    {TText::EarlierTempFilesKept, "临时文件夹中上一次扫描留下的 %1 个临时文件已移到 %2，新的扫描不会覆盖它们。\r\n"},
    {TText::DrivesUsage,
     "用法：snapsalvager-cli drives\n"
     "\n"
     "列出向导提供的驱动器号：盘符、设备或映像文件、大小、类型，以及挂载位置或卷标。\n"
     "把盘符（E:）或设备交给 'snapsalvager-cli recover' 即可。\n"},
    {TText::DrivesUnknownArgument, "snapsalvager-cli drives：未知的参数“%1”\n"},
    {TText::NoDriveFound, "没有找到驱动器。\n"},
    {TText::DrivesHeader, "盘符   设备                          大小  类型        挂载位置 / 卷标\n"},
    {TText::DriveRemovable, "可移动"},
    {TText::DriveHardDisk, "硬盘"},
    {TText::DriveNetwork, "网络"},
    {TText::DriveOptical, "CD/DVD"},
    {TText::DriveRamDisk, "RAM 盘"},
    {TText::DriveUnknown, "未知"},
    {TText::DriveLabel, "卷标 %1"},
    {TText::ExifUsage,
     "用法：snapsalvager-cli exif [--temp] 文件...\n"
     "\n"
     "以 名称=值 的形式逐行列出每张 JPEG 照片的 EXIF 标签，最后是它的摘要行。\n"
     "\n"
     "选项：\n"
     "  --temp            这些文件是扫描留下的临时文件（文件头已加扰）\n"
     "  --help            显示此说明\n"
     "\n"
     "退出状态：0 每个文件都有可读的 EXIF 数据块；1 有文件没有 EXIF 数据块或无法读取；\n"
     "2 用法错误。\n"},
    {TText::ExifUnknownOption, "snapsalvager-cli exif：未知的选项“%1”\n"},
    {TText::ExifSummary, "摘要：%1\n"},
    {TText::VerdictWhole, "完好"},
    {TText::VerdictDamagedAt, "已损坏 – 可解码至 %1%"},
    {TText::VerdictDamaged, "已损坏"},
    {TText::VerdictUnreadable, "无法读取"},
    {TText::VerdictCouldNotCheck, "无法检查"},
    {TText::VerdictNotChecked, "未检查"},
    {TText::CheckingFiles, "正在解码检查找到的 %1 个文件（同时检查 %2 个）……\n"},
    {TText::CheckingProgress, "已检查的文件：%1/%2"},
    {TText::CheckingStopped, "已停止检查；尚未检查的文件标为“未检查”，照常保存。\n"},
    {TText::DamagedSetAside, "%1 个已损坏或无法读取的文件改存在 %2 中。\n"},
    {TText::DamagedNotSetAside, "%1 仍留在 %2 中：%3\n"},
};

// Every text in English, for an English desktop or --lang en.
constexpr TTextRow kEnglish[] = {
    {TText::UserStopped, "Scan stopped by the user"},
    {TText::NothingFound, "Unfortunately, no recoverable files were found."},
    {TText::SavedIn, "The recovered files were saved in "},
    {TText::SavingFile, "Saving "},
    {TText::BypassingFile, "Bypassing "},
    {TText::RestoreLater, "You can save them later with this command: %1"},
    {TText::AbandonedScanRunning,
     "The previous scan did not respond when it was stopped and is still running; it may still write "
     "temporary files. Wait for it to end before starting a new scan, or close Snapsalvager and start it again."},
    {TText::CutFileNote,
     "[only the first %1 bytes were saved: the destination folder's file system does not accept larger files]"},
    {TText::UnknownScanError, "The scan ended on an unknown error."},
    {TText::CardGone,
     "The card can no longer be read: was it removed? The files found before are kept."},
    {TText::JournalDoesNotFit,
     "The interrupted scan's journal does not fit this scan: scan again from the start."},
    {TText::DeepScanSuffix, " (deep scan)"},
    {TText::JoinedNote, "[joined from two pieces: sectors %1–%2 and sectors %3–%4]"},
    {TText::JoiningPieces, "Joining photos in two pieces: %1/%2"},

    {TText::NoDrive, "Please choose the drive letter of your memory card."},
    {TText::NetworkDrive,
     "Sorry, Snapsalvager cannot recover data from a network drive. Run Snapsalvager on the computer the "
     "drive is attached to."},
    {TText::OpticalDrive, "Sorry, Snapsalvager cannot recover data from a CD or DVD."},
    {TText::NoCamera, "Please choose your digital camera's type, or Generic Digital Camera if you do not know it."},
    {TText::NoKinds, "Please choose at least one file type: photos, videos or audio clips."},
    {TText::NoDestFolder, "The destination folder cannot be left empty."},
    {TText::CannotCreateDest, "Cannot create the destination folder\r\n%1"},
    {TText::CannotWriteTemp, "Cannot write to the destination folder\r\n%1"},
    {TText::EarlierRecovery,
     "The destination folder you chose already holds files from an earlier recovery, and the newly "
     "recovered files would be saved among them.\r\n\r\n"
     "Click \"Yes\" to cancel and choose another destination folder, or \"No\" to go on with this folder."},
    {TText::UnknownCapacity,
     "Snapsalvager cannot measure your memory card's capacity exactly. Make sure you have inserted the card "
     "and chosen its drive letter. If you have, the card may be damaged, which can keep Snapsalvager from "
     "measuring its capacity. To recover as many files as possible, check the capacity below and correct it "
     "if it is wrong."},
    {TText::HardDisk,
     "Sorry, drive %1: looks like a hard disk (size: %2 GB) rather than a digital camera's memory card "
     "(memory cards are seldom larger than 128 GB).\r\n\r\n"
     "Click \"Yes\" to cancel and choose another drive letter, or \"No\" to go on."},
    {TText::FreeSpace,
     "Memory card size: %1\r\nFree space on the destination folder's drive: %2\r\nRecommended free space: %3\r\n\r\n"
     "Sorry, the destination folder's drive does not seem to have enough free space for the temporary files "
     "and the files recovered from the memory card. Choose another destination folder, or free up space on "
     "its drive.\r\n\r\n"
     "Click \"Yes\" to cancel and choose again, or \"No\" to go on."},
    {TText::SameDrive,
     "Warning: the destination folder is on the same drive as the source. Recovering onto the same disk can "
     "lose data for good. We strongly recommend saving the recovered files on another drive.\r\n\r\n"
     "Click [Yes] to cancel and choose another destination folder, or [No] to go on anyway."},
    {TText::CannotOpenCard, "Cannot open the memory card %1: %2."},
    {TText::CannotOpenCardWho,
     "\r\n\r\nOnly root or a user allowed to read the device can open it. Run Snapsalvager as root (for "
     "example with sudo)%1."},
    {TText::CannotOpenCardGroup,
     ", or as a member of the device's group \"%1\" (sudo usermod -aG %1 USERNAME, then log in again)"},
    {TText::CannotOpenCardAsRoot,
     "\r\n\r\nSnapsalvager is already running as root, but the system still does not let it read this device: "
     "it may be running in a container or sandbox, or be restricted by a security policy (SELinux, AppArmor). "
     "Run Snapsalvager on a system without these restrictions, or ask your system administrator to let it "
     "read the device."},
    {TText::CannotOpenVolumeWho,
     "\r\n\r\nOnly an administrator can read the memory card. Close Snapsalvager, then right-click its "
     "shortcut and choose \"Run as administrator\"."},
    {TText::CannotOpenVolumeAsAdministrator,
     "\r\n\r\nSnapsalvager is already running as administrator, but the system still does not let it read "
     "this drive: another program may hold it for itself. Close the programs using the memory card, then "
     "try again."},
    {TText::SystemReason, "\r\nReason: %1"},

    {TText::CliUsage,
     "usage: snapsalvager-cli recover SOURCE DEST [options]   recover the files of a card\n"
     "       snapsalvager-cli drives                          list the drive letters\n"
     "       snapsalvager-cli restore TEMPFILE|FOLDER... DEST save kept temporary files\n"
     "       snapsalvager-cli exif [--temp] FILE...           list a photo's EXIF tags\n"
     "       snapsalvager-cli --help | --version\n"
     "Run 'snapsalvager-cli recover --help' for the recovery options.\n"
     "--lang en|zh before or after the command, or SNAPSALVAGER_LANG, chooses the language;\n"
     "without them it follows the locale: English for en_*, Chinese for any other.\n"},
    {TText::CliUnknownCommand, "snapsalvager-cli: unknown command '%1'\n"},
    {TText::LangNeedsName, "%1: --lang takes en or zh\n"},
    {TText::RecoverUsage,
     "usage: snapsalvager-cli recover SOURCE DEST [options]\n"
     "\n"
     "Recovers the photos, videos and audio clips of a memory card into DEST, reading the\n"
     "whole card below its file system. The card is only ever read. Found files are saved\n"
     "as DEST/File0001.JPG, ... and never replace a file already there.\n"
     "\n"
     "SOURCE   a disk-image file, a block device (/dev/sdb1), or a drive letter such as E:\n"
     "DEST     the destination folder (created when missing; temporary files go to\n"
     "         DEST/TmpFiles/)\n"
     "\n"
     "options:\n"
     "  --camera NAME     camera brand as you would type it (canon, Sony): the start of a\n"
     "                    name of --camera list, without regard to case (default\n"
     "                    \"Generic Digital Camera\")\n"
     "  --photo           look for photos (the default)\n"
     "  --no-photo        do not look for photos\n"
     "  --video [TYPE]    look for videos: ALL (the default) or one of\n"
     "                    MPG, MOV, ASF, MP4, AVI, 3GP, MTS\n"
     "  --audio           look for audio clips (WAV, MP3, AMR)\n"
     "  --scan-only       scan and keep the temporary files; save nothing\n"
     "  --deep            deep scan: follow each file's structure so it ends at its\n"
     "                    real last byte, keep videos whole, find more clips (slower)\n"
     "  --image FILE      also write the card into FILE as it is read (unreadable\n"
     "                    sectors as zeros) and a GNU ddrescue map file FILE.map naming\n"
     "                    the unreadable areas; later scans can run on FILE, and ddrescue\n"
     "                    can retry the bad areas of the card. Neither file may exist.\n"
     "  --original-names  save under the names and folders the card's directory entries\n"
     "                    give (DEST/DCIM/100CANON/IMG_4711.JPG), dated as they were;\n"
     "                    files no entry names stay File0001.JPG (photos dated from\n"
     "                    EXIF). Also writes DEST/report.xml\n"
     "  --report          after saving, write DEST/report.xml (DFXML): where each found\n"
     "                    file lies on the card, its type, its original name and dates\n"
     "  --resume          go on with a scan of this card into DEST that was interrupted\n"
     "                    (a crash, a kill, a removed card, Ctrl-C with --scan-only), from\n"
     "                    where its journal in DEST/TmpFiles/ stands, with the same\n"
     "                    options; it ends with the files of a scan never interrupted\n"
     "  --sectors N       the card's capacity in 512-byte sectors, when it cannot be\n"
     "                    measured\n"
     "  --yes             go on where the wizard would ask whether to choose another\n"
     "                    folder or drive: too little free space, a drive as big as a\n"
     "                    hard disk, earlier recoveries in DEST (without it such a\n"
     "                    question ends the command)\n"
     "  --onto-card-drive go on although DEST is on the card's own drive. --yes does not\n"
     "                    answer this: the temporary files would be written into the\n"
     "                    card's free space, over the deleted photos being recovered.\n"
     "  --verdicts        after the scan, decode every found file (in sandboxed helper\n"
     "                    processes, several at a time) and add a column to its row:\n"
     "                    whole, damaged (and how far it decodes), unreadable, or could\n"
     "                    not check\n"
     "  --set-aside-damaged\n"
     "                    check the files so too, and save the damaged and unreadable\n"
     "                    ones in DEST/damaged/; the whole ones stay in DEST\n"
     "  --help            show this text\n"
     "  --version         show the version\n"
     "\n"
     "stdout: one row per found file: number, file name, size in bytes, properties (and,\n"
     "with --verdicts, the verdict), separated by tabs. stderr: progress and messages.\n"
     "Ctrl-C stops the scan and saves what was found; a second Ctrl-C quits at once and\n"
     "says how to save it later.\n"
     "exit status:\n"
     "  0    files recovered (found, with --scan-only)\n"
     "  1    nothing found or recovered\n"
     "  2    bad usage: an unknown option, a missing or refused value, no such SOURCE\n"
     "  3    an I/O error or a removed card ended the scan (what was found is saved)\n"
     "  4    stopped at a question (answer it with --yes, --onto-card-drive or --sectors)\n"
     "  5    the card cannot be opened or read\n"
     "  130  stopped by Ctrl-C (what was found is saved, or kept for `restore`)\n"},
    {TText::RecoverUsageLine, "snapsalvager-cli recover: %1\n"},
    {TText::RecoverSeeHelp, "Run 'snapsalvager-cli recover --help' for the options.\n"},
    {TText::GoingOn, "(%1: going on)\n"},
    {TText::StoppedAtQuestion, "Stopped here; run again with %1 to go on anyway.\n"},
    {TText::CameraChoices, "(--camera '%1' %2; the choices:)\n"},
    {TText::CameraNamesNone, "names no camera"},
    {TText::CameraAmbiguous, "is ambiguous"},
    {TText::UnknownVideoType, "unknown video type '%1' (ALL, MPG, MOV, ASF, MP4, AVI, 3GP, MTS)"},
    {TText::VideoTypeAfterVideo,
     "'%1' after --video is not a video type (ALL, MPG, MOV, ASF, MP4, AVI, 3GP, MTS)"},
    {TText::TakesNoValue, "%1 takes no value"},
    {TText::CameraNeedsName, "--camera needs a camera name"},
    {TText::SectorsNeedsNumber,
     "--sectors needs a whole number of sectors from 1 to 274877906944 (128 TiB)"},
    {TText::UnknownOption, "unknown option '%1'"},
    {TText::NeedsSourceAndDest, "needs a SOURCE and a DEST"},
    {TText::CannotFindSource, "snapsalvager-cli recover: cannot find %1: %2\n"},
    {TText::NotImageNorDevice,
     "snapsalvager-cli recover: %1 is neither a disk-image file nor a block device\n"},
    {TText::NoFreeLetter, "snapsalvager-cli recover: no drive letter is free for %1"},
    {TText::ProgressCounters, "Sectors scanned: %1  Unreadable sectors: %2  Files found: %3"},
    {TText::ProgressTimeLeft, "  Time left: %1"},
    {TText::GiveSectors, "(give the capacity with --sectors N; %1 sectors would be %2 MB)\n"},
    {TText::NoDriveWithLetter, "(no drive has the letter %1; 'snapsalvager-cli drives' lists them)\n"},
    {TText::SectorsNotNeeded, "(the card measures %1 sectors; --sectors is not needed)\n"},
    {TText::ScanHeader, "Drive letter: %1: (%2)  Size: %3 MB  File types sought: %4\n"},
    {TText::ScanInProgress, "Scan in progress...\n"},
    {TText::StoppingScan,
     "Stopping: the files found so far will be saved (Ctrl-C again quits at once and leaves them as "
     "temporary files)."},
    {TText::ScanEndedOnError, "The scan ended on an error: %1\n"},
    {TText::FinishingSave,
     "Finishing the save so that no file is left half-saved: %1 file(s) remain.\n"},
    {TText::NotSaved, "Not saved: %1 (%2); its data stays in %3\n"},
    {TText::FilesSaved, "%1 file(s) saved.\n"},
    {TText::ReportWritten, "Report of the found files: %1\n"},
    {TText::ReportNotWritten, "The report could not be written: %1\n"},
    {TText::SpecialTypesNote,
     "Important: the recovered files include some special file types. Some of them may open only in the "
     "program that made them, or may not open normally."},
    {TText::PostProcessing, "(%1 files may need post-processing)\n"},
    {TText::FoundCount, "%1 file(s) found in all.\n"},
    {TText::ScanOnlyKept, "--scan-only: nothing saved; the temporary files stay in %1\n"},
    {TText::ImageNeedsFile, "--image needs a file name"},
    {TText::CardImageWritten, "Card image: %1 (map: %2)\n"},
    {TText::CardImageIncomplete, "The card image is incomplete: %1\n"},
    {TText::ResumingScan,
     "Continuing the interrupted scan at sector %1 of %2 (%3 file(s) found before it stopped).\n"},
    {TText::JournalNotResumed,
     "An interrupted scan of this card with these options can be continued (%1 of %2 sectors done): add "
     "--resume to continue it. This scan starts again from the first sector.\n"},
    {TText::JournalOtherScan,
     "The interrupted scan in %1 was of another card or with other options: it is not continued; this scan "
     "starts from the first sector.\n"},
    {TText::JournalUnusable,
     "The interrupted scan in %1 cannot be continued (its journal is damaged or its temporary files have "
     "changed); this scan starts from the first sector.\n"},
    {TText::NoScanToResume,
     "--resume: there is no interrupted scan in %1; this scan starts from the first sector.\n"},
    {TText::ImageWithResume,
     "--image and --resume do not go together: a continued scan reads only the rest of the card"},
    {TText::RestoreUsage,
     "usage: snapsalvager-cli restore TEMPFILE|FOLDER... DEST [--onto-card-drive]\n"
     "\n"
     "Saves temporary files that a recovery kept (Temporary_v5_File0001_JPG.~QX in\n"
     "DEST/TmpFiles/ or a folder below it) as their recovered files (File0001.JPG) in the\n"
     "folder DEST, created when missing. A FOLDER stands for every temporary file in it.\n"
     "Each temporary file is moved, so it is gone once its file is saved. A name already\n"
     "taken in DEST is never replaced: the file gets the next free number (File0012.JPG)\n"
     "and the line says so. A save that was interrupted is finished.\n"
     "\n"
     "  --onto-card-drive  go on although DEST is on a memory card's drive (the deleted\n"
     "                     photos on it could be overwritten)\n"
     "\n"
     "stdout: one line per restored file: the temporary file and the saved file, separated\n"
     "by a tab. Ctrl-C stops after the file being restored.\n"
     "exit status:\n"
     "  0    every file restored\n"
     "  1    some could not be restored\n"
     "  2    bad usage\n"
     "  4    stopped at a question (DEST on a card's drive; answer it with --onto-card-drive)\n"
     "  130  stopped by Ctrl-C (what is left can be restored later)\n"},
    {TText::RestoreUnknownOption, "snapsalvager-cli restore: unknown option '%1'\n"},
    {TText::RestoreNeedsFiles,
     "snapsalvager-cli restore: needs one or more TEMPFILEs and a DEST folder\n"},
    {TText::RestoreDestNotFolder,
     "snapsalvager-cli restore: %1 is not a folder and cannot be made one\n"},
    {TText::NotATemporaryFile, "not a temporary file of a recovery (%1)"},
    {TText::NoSuchFile, "no such file"},
    {TText::NameTaken, "the name %1 is already taken in %2"},
    {TText::NotRestored, "Not restored: %1: %2\n"},
    {TText::FilesRestored, "%1 file(s) restored into %2.\n"},
    {TText::RestoreInterrupted, "Stopped by Ctrl-C; run the same command again to restore the rest.\n"},
    {TText::NameTakenSavedAs, "%1 is taken; saved as %2"},
    {TText::EarlierTempFilesKept,
     "The %1 temporary file(s) the previous scan left in the temporary folder were moved to %2; the new scan "
     "will not overwrite them.\r\n"},
    {TText::DrivesUsage,
     "usage: snapsalvager-cli drives\n"
     "\n"
     "Lists the drive letters the wizard offers: letter, device or image file, size,\n"
     "type, and where it is mounted or its label. Give the letter (E:) or the device\n"
     "to 'snapsalvager-cli recover'.\n"},
    {TText::DrivesUnknownArgument, "snapsalvager-cli drives: unknown argument '%1'\n"},
    {TText::NoDriveFound, "No drive found.\n"},
    {TText::DrivesHeader,
     "letter device                        size  type        mounted on / label\n"},
    {TText::DriveRemovable, "removable"},
    {TText::DriveHardDisk, "hard disk"},
    {TText::DriveNetwork, "network"},
    {TText::DriveOptical, "CD/DVD"},
    {TText::DriveRamDisk, "RAM disk"},
    {TText::DriveUnknown, "unknown"},
    {TText::DriveLabel, "label %1"},
    {TText::ExifUsage,
     "usage: snapsalvager-cli exif [--temp] FILE...\n"
     "\n"
     "Lists the EXIF tags of each JPEG photo as name=value lines, then its summary line.\n"
     "\n"
     "options:\n"
     "  --temp            the files are temporary files of a scan (head scrambled)\n"
     "  --help            show this text\n"
     "\n"
     "exit status: 0 every file had a readable EXIF block; 1 a file had none or could\n"
     "not be read; 2 bad usage.\n"},
    {TText::ExifUnknownOption, "snapsalvager-cli exif: unknown option '%1'\n"},
    {TText::ExifSummary, "Summary: %1\n"},
    {TText::VerdictWhole, "Whole"},
    {TText::VerdictDamagedAt, "Damaged – decodes to %1 %"},
    {TText::VerdictDamaged, "Damaged"},
    {TText::VerdictUnreadable, "Unreadable"},
    {TText::VerdictCouldNotCheck, "Could not check"},
    {TText::VerdictNotChecked, "Not checked"},
    {TText::CheckingFiles, "Checking the %1 found files by decoding them (%2 at a time)...\n"},
    {TText::CheckingProgress, "Files checked: %1/%2"},
    {TText::CheckingStopped, "Checking stopped; the files not checked yet say \"Not checked\" and are saved as usual.\n"},
    {TText::DamagedSetAside, "%1 damaged or unreadable file(s) saved in %2 instead.\n"},
    {TText::DamagedNotSetAside, "%1 stays in %2: %3\n"},
};

// True when rows holds every TText once, in enum order.
template <size_t N>
constexpr bool Complete(const TTextRow (&rows)[N]) {
  if (N != kTextCount) return false;
  for (size_t i = 0; i < N; ++i) {
    if (static_cast<size_t>(rows[i].Id) != i || rows[i].Text == nullptr) return false;
  }
  return true;
}
static_assert(Complete(kChinese), "the Chinese table must hold every text in enum order");
static_assert(Complete(kEnglish), "the English table must hold every text in enum order");

// Indexed by TLanguage.
constexpr const TTextRow* kTables[] = {kChinese, kEnglish};

std::atomic<TLanguage> g_language{TLanguage::Chinese};

}  // namespace

void SetLanguage(TLanguage language) { g_language = language; }

TLanguage Language() { return g_language.load(); }

std::optional<TLanguage> LanguageNamed(std::string_view name) {
  if (name == "en") return TLanguage::English;
  if (name == "zh") return TLanguage::Chinese;
  return std::nullopt;
}

TLanguage LanguageFromEnvironment() {
  if (const char* chosen = std::getenv("SNAPSALVAGER_LANG")) {
    if (const auto language = LanguageNamed(chosen)) return *language;
  }
  // The C library's order: the first variable set and not empty names the messages' locale.
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') continue;
    const std::string_view locale(value);
    const bool english = locale.substr(0, 2) == "en" &&
                         (locale.size() == 2 || locale[2] == '_' || locale[2] == '.' || locale[2] == '@');
    return english ? TLanguage::English : TLanguage::Chinese;
  }
  return TLanguage::Chinese;
}

const char* Text(TText id) {
  const size_t index = static_cast<size_t>(id);
  if (index >= kTextCount) return "";
  return kTables[static_cast<size_t>(g_language.load())][index].Text;
}

bool ChooseLanguage(int& argc, char** argv) {
  std::optional<TLanguage> chosen;
  bool valid = true;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    std::optional<std::string_view> value;
    if (arg == "--lang") {
      value = i + 1 < argc ? std::string_view(argv[++i]) : std::string_view();
    } else if (arg.substr(0, 7) == "--lang=") {
      value = arg.substr(7);
    }
    if (!value) {
      argv[kept++] = argv[i];
      continue;
    }
    chosen = LanguageNamed(*value);
    if (!chosen) valid = false;
  }
  argc = kept;
  argv[argc] = nullptr;
  SetLanguage(chosen && valid ? *chosen : LanguageFromEnvironment());
  return valid;
}

std::string Text(TText id, std::initializer_list<std::string_view> values) {
  const std::string_view pattern = Text(id);
  std::string text;
  text.reserve(pattern.size());
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
      const size_t n = static_cast<size_t>(pattern[i + 1] - '1');
      if (n < values.size()) text += values.begin()[n];
      ++i;
      continue;
    }
    text += c;
  }
  return text;
}

}  // namespace snapsalvager
