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

// The texts as the program has always shown them: the Chinese of the windows and messages,
// and the command line's own lines, still in English where they were written so.
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
    {TText::UnknownScanError, "The scan ended on an unknown error."},
    {TText::CardGone, "The card can no longer be read: was it removed? The files found before are kept."},
    {TText::JournalDoesNotFit, "The interrupted scan's journal does not fit this scan: scan again from the start."},
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
     "usage: snapsalvager-cli recover SOURCE DEST [options]   recover the files of a card\n"
     "       snapsalvager-cli drives                          list the drive letters\n"
     "       snapsalvager-cli restore TEMPFILE|FOLDER... DEST save kept temporary files\n"
     "       snapsalvager-cli exif [--temp] FILE...           list a photo's EXIF tags\n"
     "       snapsalvager-cli --help | --version\n"
     "Run 'snapsalvager-cli recover --help' for the recovery options.\n"},
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
     "  --help            show this text\n"
     "  --version         show the version\n"
     "\n"
     "stdout: one row per found file: number, file name, size in bytes, properties,\n"
     "separated by tabs. stderr: progress and messages. Ctrl-C stops the scan and saves\n"
     "what was found; a second Ctrl-C quits at once and says how to save it later.\n"
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
    {TText::SectorsNeedsNumber, "--sectors needs a whole number of sectors from 1 to 274877906944 (128 TiB)"},
    {TText::UnknownOption, "unknown option '%1'"},
    {TText::NeedsSourceAndDest, "needs a SOURCE and a DEST"},
    {TText::CannotFindSource, "snapsalvager-cli recover: cannot find %1: %2\n"},
    {TText::NotImageNorDevice, "snapsalvager-cli recover: %1 is neither a disk-image file nor a block device\n"},
    {TText::NoFreeLetter, "snapsalvager-cli recover: no drive letter is free for %1"},
    {TText::ProgressCounters, "已扫描的扇区: %1  无法访问的扇区：%2  找到的文件：%3"},
    {TText::ProgressTimeLeft, "  预计完成：%1"},
    {TText::GiveSectors, "(give the capacity with --sectors N; %1 sectors would be %2 MB)\n"},
    {TText::NoDriveWithLetter, "(no drive has the letter %1; 'snapsalvager-cli drives' lists them)\n"},
    {TText::SectorsNotNeeded, "(the card measures %1 sectors; --sectors is not needed)\n"},
    {TText::ScanHeader, "驱动器号：%1: (%2)  存储大小:  %3 MB  要检测的文件类型：%4\n"},
    {TText::ScanInProgress, "扫描正在进行中...\n"},
    {TText::StoppingScan,
     "Stopping: the files found so far will be saved (Ctrl-C again quits at once and leaves them as "
     "temporary files)."},
    {TText::ScanEndedOnError, "The scan ended on an error: %1\n"},
    {TText::FinishingSave, "Finishing the save so that no file is left half-saved: %1 file(s) remain.\n"},
    {TText::NotSaved, "Not saved: %1 (%2); its data stays in %3\n"},
    {TText::FilesSaved, "%1 file(s) saved.\n"},
    {TText::SpecialTypesNote,
     "重要说明： 已恢复的文件包含一些特殊的文件类型。在某些情况下，它可能需要生成的程序或它不能正常打开。"},
    {TText::PostProcessing, "(%1 files may need post-processing)\n"},
    {TText::FoundCount, "发现共有 %1 个文件。\n"},
    {TText::ScanOnlyKept, "--scan-only: nothing saved; the temporary files stay in %1\n"},
    {TText::ImageNeedsFile, "--image needs a file name"},
    {TText::CardImageWritten, "Card image: %1 (map: %2)\n"},
    {TText::CardImageIncomplete, "The card image is incomplete: %1\n"},
    {TText::ResumingScan, "Continuing the interrupted scan at sector %1 of %2 (%3 file(s) found before it stopped).\n"},
    {TText::JournalNotResumed,
     "An interrupted scan of this card with these options can be continued (%1 of %2 sectors done): add "
     "--resume to continue it. This scan starts again from the first sector.\n"},
    {TText::JournalOtherScan,
     "The interrupted scan in %1 was of another card or with other options: it is not continued; this scan "
     "starts from the first sector.\n"},
    {TText::JournalUnusable,
     "The interrupted scan in %1 cannot be continued (its journal is damaged or its temporary files have "
     "changed); this scan starts from the first sector.\n"},
    {TText::NoScanToResume, "--resume: there is no interrupted scan in %1; this scan starts from the first sector.\n"},
    {TText::ImageWithResume, "--image and --resume do not go together: a continued scan reads only the rest of the card"},
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
    {TText::RestoreNeedsFiles, "snapsalvager-cli restore: needs one or more TEMPFILEs and a DEST folder\n"},
    {TText::RestoreDestNotFolder, "snapsalvager-cli restore: %1 is not a folder and cannot be made one\n"},
    {TText::NotATemporaryFile, "not a temporary file of a recovery (%1)"},
    {TText::NoSuchFile, "no such file"},
    {TText::NameTaken, "the name %1 is already taken in %2"},
    {TText::NotRestored, "Not restored: %1: %2\n"},
    {TText::FilesRestored, "%1 file(s) restored into %2.\n"},
    {TText::RestoreInterrupted, "Stopped by Ctrl-C; run the same command again to restore the rest.\n"},
    {TText::NameTakenSavedAs, "%1 已被占用，改存为 %2"},
    {TText::EarlierTempFilesKept, "临时文件夹中上一次扫描留下的 %1 个临时文件已移到 %2，新的扫描不会覆盖它们。"},
    {TText::DrivesUsage,
     "usage: snapsalvager-cli drives\n"
     "\n"
     "Lists the drive letters the wizard offers: letter, device or image file, size,\n"
     "type, and where it is mounted or its label. Give the letter (E:) or the device\n"
     "to 'snapsalvager-cli recover'.\n"},
    {TText::DrivesUnknownArgument, "snapsalvager-cli drives: unknown argument '%1'\n"},
    {TText::NoDriveFound, "No drive found.\n"},
    {TText::DrivesHeader, "letter device                        size  type        mounted on / label\n"},
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
};

// The Chinese table's text of id, for the command line's lines that were always English.
constexpr const char* AsInChinese(TText id) { return kChinese[static_cast<size_t>(id)].Text; }

// Every text in English, for an English desktop or --lang en.
constexpr TTextRow kEnglish[] = {
    {TText::UserStopped, "Scan stopped by the user"},
    {TText::NothingFound, "Unfortunately, no recoverable files were found."},
    {TText::SavedIn, "The recovered files were saved in "},
    {TText::SavingFile, "Saving "},
    {TText::BypassingFile, AsInChinese(TText::BypassingFile)},
    {TText::RestoreLater, "You can save them later with this command: %1"},
    {TText::AbandonedScanRunning,
     "The previous scan did not respond when it was stopped and is still running; it may still write "
     "temporary files. Wait for it to end before starting a new scan, or close Snapsalvager and start it again."},
    {TText::CutFileNote,
     "[only the first %1 bytes were saved: the destination folder's file system does not accept larger files]"},
    {TText::UnknownScanError, AsInChinese(TText::UnknownScanError)},
    {TText::CardGone, AsInChinese(TText::CardGone)},
    {TText::JournalDoesNotFit, AsInChinese(TText::JournalDoesNotFit)},
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
    {TText::CliUnknownCommand, AsInChinese(TText::CliUnknownCommand)},
    {TText::LangNeedsName, AsInChinese(TText::LangNeedsName)},
    {TText::RecoverUsage, AsInChinese(TText::RecoverUsage)},
    {TText::RecoverUsageLine, AsInChinese(TText::RecoverUsageLine)},
    {TText::RecoverSeeHelp, AsInChinese(TText::RecoverSeeHelp)},
    {TText::GoingOn, AsInChinese(TText::GoingOn)},
    {TText::StoppedAtQuestion, AsInChinese(TText::StoppedAtQuestion)},
    {TText::CameraChoices, AsInChinese(TText::CameraChoices)},
    {TText::CameraNamesNone, AsInChinese(TText::CameraNamesNone)},
    {TText::CameraAmbiguous, AsInChinese(TText::CameraAmbiguous)},
    {TText::UnknownVideoType, AsInChinese(TText::UnknownVideoType)},
    {TText::VideoTypeAfterVideo, AsInChinese(TText::VideoTypeAfterVideo)},
    {TText::TakesNoValue, AsInChinese(TText::TakesNoValue)},
    {TText::CameraNeedsName, AsInChinese(TText::CameraNeedsName)},
    {TText::SectorsNeedsNumber, AsInChinese(TText::SectorsNeedsNumber)},
    {TText::UnknownOption, AsInChinese(TText::UnknownOption)},
    {TText::NeedsSourceAndDest, AsInChinese(TText::NeedsSourceAndDest)},
    {TText::CannotFindSource, AsInChinese(TText::CannotFindSource)},
    {TText::NotImageNorDevice, AsInChinese(TText::NotImageNorDevice)},
    {TText::NoFreeLetter, AsInChinese(TText::NoFreeLetter)},
    {TText::ProgressCounters, "Sectors scanned: %1  Unreadable sectors: %2  Files found: %3"},
    {TText::ProgressTimeLeft, "  Time left: %1"},
    {TText::GiveSectors, AsInChinese(TText::GiveSectors)},
    {TText::NoDriveWithLetter, AsInChinese(TText::NoDriveWithLetter)},
    {TText::SectorsNotNeeded, AsInChinese(TText::SectorsNotNeeded)},
    {TText::ScanHeader, "Drive letter: %1: (%2)  Size: %3 MB  File types sought: %4\n"},
    {TText::ScanInProgress, "Scan in progress...\n"},
    {TText::StoppingScan, AsInChinese(TText::StoppingScan)},
    {TText::ScanEndedOnError, AsInChinese(TText::ScanEndedOnError)},
    {TText::FinishingSave, AsInChinese(TText::FinishingSave)},
    {TText::NotSaved, AsInChinese(TText::NotSaved)},
    {TText::FilesSaved, AsInChinese(TText::FilesSaved)},
    {TText::SpecialTypesNote,
     "Important: the recovered files include some special file types. Some of them may open only in the "
     "program that made them, or may not open normally."},
    {TText::PostProcessing, AsInChinese(TText::PostProcessing)},
    {TText::FoundCount, "%1 file(s) found in all.\n"},
    {TText::ScanOnlyKept, AsInChinese(TText::ScanOnlyKept)},
    {TText::ImageNeedsFile, AsInChinese(TText::ImageNeedsFile)},
    {TText::CardImageWritten, AsInChinese(TText::CardImageWritten)},
    {TText::CardImageIncomplete, AsInChinese(TText::CardImageIncomplete)},
    {TText::ResumingScan, AsInChinese(TText::ResumingScan)},
    {TText::JournalNotResumed, AsInChinese(TText::JournalNotResumed)},
    {TText::JournalOtherScan, AsInChinese(TText::JournalOtherScan)},
    {TText::JournalUnusable, AsInChinese(TText::JournalUnusable)},
    {TText::NoScanToResume, AsInChinese(TText::NoScanToResume)},
    {TText::ImageWithResume, AsInChinese(TText::ImageWithResume)},
    {TText::RestoreUsage, AsInChinese(TText::RestoreUsage)},
    {TText::RestoreUnknownOption, AsInChinese(TText::RestoreUnknownOption)},
    {TText::RestoreNeedsFiles, AsInChinese(TText::RestoreNeedsFiles)},
    {TText::RestoreDestNotFolder, AsInChinese(TText::RestoreDestNotFolder)},
    {TText::NotATemporaryFile, AsInChinese(TText::NotATemporaryFile)},
    {TText::NoSuchFile, AsInChinese(TText::NoSuchFile)},
    {TText::NameTaken, AsInChinese(TText::NameTaken)},
    {TText::NotRestored, AsInChinese(TText::NotRestored)},
    {TText::FilesRestored, AsInChinese(TText::FilesRestored)},
    {TText::RestoreInterrupted, AsInChinese(TText::RestoreInterrupted)},
    {TText::NameTakenSavedAs, "%1 is taken; saved as %2"},
    {TText::EarlierTempFilesKept,
     "The %1 temporary file(s) the previous scan left in the temporary folder were moved to %2; the new scan "
     "will not overwrite them."},
    {TText::DrivesUsage, AsInChinese(TText::DrivesUsage)},
    {TText::DrivesUnknownArgument, AsInChinese(TText::DrivesUnknownArgument)},
    {TText::NoDriveFound, AsInChinese(TText::NoDriveFound)},
    {TText::DrivesHeader, AsInChinese(TText::DrivesHeader)},
    {TText::DriveRemovable, AsInChinese(TText::DriveRemovable)},
    {TText::DriveHardDisk, AsInChinese(TText::DriveHardDisk)},
    {TText::DriveNetwork, AsInChinese(TText::DriveNetwork)},
    {TText::DriveOptical, AsInChinese(TText::DriveOptical)},
    {TText::DriveRamDisk, AsInChinese(TText::DriveRamDisk)},
    {TText::DriveUnknown, AsInChinese(TText::DriveUnknown)},
    {TText::DriveLabel, AsInChinese(TText::DriveLabel)},
    {TText::ExifUsage, AsInChinese(TText::ExifUsage)},
    {TText::ExifUnknownOption, AsInChinese(TText::ExifUnknownOption)},
    {TText::ExifSummary, AsInChinese(TText::ExifSummary)},
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
