// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The Chinese texts, the program's first language.
#include "session/TextTables.h"

namespace snapsalvager::texts {

// The texts as the program has always shown them, and the command line's own lines in the
// same Chinese. The few English texts here are the window's own as they always stood.
constexpr TTextRow kChinese[kTextCount] = {
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
    {TText::SizeFromEntry, "%1：%2 字节，与存储卡上的目录项记录一致"},

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
    {TText::NamesNotKept, "无法在 %1 中保留存储卡上的文件名：恢复时文件将命名为 File0001.JPG 等\n"},
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
     "用法：snapsalvager-cli restore 临时文件|文件夹... 目标文件夹 [--original-names]\n"
     "                               [--onto-card-drive]\n"
     "\n"
     "把恢复时保留下来的临时文件（目标文件夹/TmpFiles/ 或其下某个文件夹中的\n"
     "Temporary_v5_File0001_JPG.~QX）保存为恢复后的文件（File0001.JPG），放进目标文件夹\n"
     "（不存在时自动创建）。给出文件夹即表示其中所有的临时文件。每个临时文件都是移动\n"
     "过去的，文件保存后它就不在了。目标文件夹中已有的文件名决不会被替换：文件改用\n"
     "下一个空闲编号（File0012.JPG），并在输出中说明。被中断的保存会被完成。\n"
     "\n"
     "  --original-names   按原文件名保存的那次保存（或 recover --scan-only\n"
     "                     --original-names）保留了存储卡上的文件名时，文件恢复到\n"
     "                     原来的文件夹和文件名下（目标文件夹/DCIM/100CANON/IMG_4711.JPG），\n"
     "                     日期与原来相同；其余文件仍为 File0001.JPG（照片按 EXIF 定日期）\n"
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

static_assert(Complete(kChinese), "the Chinese table must hold every text in enum order");

}  // namespace snapsalvager::texts
