// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The English texts.
#include "session/TextTables.h"

namespace snapsalvager::texts {

// Every text in English, for an English desktop or --lang en.
constexpr TTextRow kEnglish[kTextCount] = {
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
    {TText::SizeFromEntry, "%1: %2 bytes, as the card's directory entry records it"},

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
    {TText::NamesNotKept,
     "The card's names could not be kept in %1: a restore will name the files File0001.JPG and so on\n"},
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
     "usage: snapsalvager-cli restore TEMPFILE|FOLDER... DEST [--original-names]\n"
     "                                [--onto-card-drive]\n"
     "\n"
     "Saves temporary files that a recovery kept (Temporary_v5_File0001_JPG.~QX in\n"
     "DEST/TmpFiles/ or a folder below it) as their recovered files (File0001.JPG) in the\n"
     "folder DEST, created when missing. A FOLDER stands for every temporary file in it.\n"
     "Each temporary file is moved, so it is gone once its file is saved. A name already\n"
     "taken in DEST is never replaced: the file gets the next free number (File0012.JPG)\n"
     "and the line says so. A save that was interrupted is finished.\n"
     "\n"
     "  --original-names   where a save under the card's names (or recover --scan-only\n"
     "                     --original-names) kept them beside the files, save under\n"
     "                     those names and folders (DEST/DCIM/100CANON/IMG_4711.JPG),\n"
     "                     dated as they were; other files stay File0001.JPG (photos\n"
     "                     dated from EXIF)\n"
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

static_assert(Complete(kEnglish), "the English table must hold every text in enum order");

}  // namespace snapsalvager::texts
