<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>AboutBox</name>
    <message>
        <source>关于 Snapsalvager</source>
        <translation>About Snapsalvager</translation>
    </message>
    <message>
        <source>Snapsalvager</source>
        <translation>Snapsalvager</translation>
    </message>
    <message>
        <source>专业数据恢复软件</source>
        <translation>Professional data recovery software</translation>
    </message>
    <message>
        <source>for Camera Memory Cards</source>
        <translation>for Camera Memory Cards</translation>
    </message>
    <message>
        <source>版本</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>Memory card photo, video and audio recovery</source>
        <translation>Memory card photo, video and audio recovery</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>FinishPage</name>
    <message>
        <source>恢复完成</source>
        <translation>Recovery complete</translation>
    </message>
    <message>
        <source>保存恢复的文件...</source>
        <translation>Saving the recovered files...</translation>
    </message>
    <message>
        <source>当前文件:</source>
        <translation>Current file:</translation>
    </message>
    <message>
        <source>0%</source>
        <translation>0%</translation>
    </message>
    <message>
        <source>打开已恢复的文件文件夹</source>
        <translation>Open the folder of recovered files</translation>
    </message>
    <message>
        <source>重要说明： 已恢复的文件包含一些特殊的文件类型。在某些情况下，它可能需要生成的程序或它不能正常打开。</source>
        <translation>Important: the recovered files include some special file types. Some of them may open only in the program that made them, or may not open normally.</translation>
    </message>
    <message>
        <source>color: #FF0000;</source>
        <translation>color: #FF0000;</translation>
    </message>
    <message>
        <source>有关详细信息，请单击此处。</source>
        <translation>For details, click here.</translation>
    </message>
    <message>
        <source>存储卡分布图</source>
        <translation>Map of the card</translation>
    </message>
</context>
<context>
    <name>MainForm</name>
    <message>
        <source>Snapsalvager</source>
        <translation>Snapsalvager</translation>
    </message>
    <message>
        <source>for Camera Memory Cards</source>
        <translation>for Camera Memory Cards</translation>
    </message>
    <message>
        <source>步骤状态</source>
        <translation>Steps</translation>
    </message>
    <message>
        <source>欢迎使用</source>
        <translation>Welcome</translation>
    </message>
    <message>
        <source>设置扫描选项</source>
        <translation>Scan options</translation>
    </message>
    <message>
        <source>执行全面扫描</source>
        <translation>Full scan</translation>
    </message>
    <message>
        <source>预览和选择</source>
        <translation>Preview files</translation>
    </message>
    <message>
        <source>保存和完成</source>
        <translation>Save and finish</translation>
    </message>
    <message>
        <source>数码相机内存卡数据恢复工具</source>
        <translation>Memory card data recovery for digital cameras</translation>
    </message>
    <message>
        <source>使用 Snapsalvager 是安全的。Snapsalvager 不写入或修改您的源记忆卡上的数据。它将恢复的文件保存到您指定的目标文件夹。</source>
        <translation>Snapsalvager is safe to use: it never writes to or changes the data on your memory card. It saves the recovered files in the destination folder you choose.</translation>
    </message>
    <message>
        <source>第 1 步-</source>
        <translation>Step 1</translation>
    </message>
    <message>
        <source>扫描选项</source>
        <translation>Scan options</translation>
    </message>
    <message>
        <source>内存卡驱动器盘符</source>
        <translation>Memory card drive letter</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>包含您的内存卡驱动器。它通常是您的摄像头、 读卡器或内置读卡器插槽。如果未显示为一个驱动器盘符？</source>
        <translation>Your camera, card reader or built-in card slot. No drive letter shown for it?</translation>
    </message>
    <message>
        <source>请单击这儿</source>
        <translation>Click here</translation>
    </message>
    <message>
        <source>如果您的内存卡不能显示为一个驱动器号，请单击此处联机帮助。</source>
        <translation>If your memory card has no drive letter, click here for online help.</translation>
    </message>
    <message>
        <source>相机和文件类型</source>
        <translation>Camera and file types</translation>
    </message>
    <message>
        <source>照片</source>
        <translation>Photos</translation>
    </message>
    <message>
        <source>视频</source>
        <translation>Video</translation>
    </message>
    <message>
        <source>[所有]</source>
        <translation>[All]</translation>
    </message>
    <message>
        <source>单击此处以选择视频文件类型</source>
        <translation>Click here to choose the video file types</translation>
    </message>
    <message>
        <source>音频</source>
        <translation>Audio</translation>
    </message>
    <message>
        <source>你的相机品牌和您需要恢复的文件类型。如果你的相机品牌是未知的或未列出，请选择&quot;普通数字相机&quot;。</source>
        <translation>Your camera brand and the file types to recover. If your camera brand is unknown or not listed, choose &quot;Generic Digital Camera&quot;.</translation>
    </message>
    <message>
        <source>目标文件夹</source>
        <translation>Destination folder</translation>
    </message>
    <message>
        <source>浏览...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>要保存恢复文件的位置。请设置您要恢复的文件，或在同一驱动器上可能会意外地覆盖文件。</source>
        <translation>Where to save the recovered files. Choose a folder on another drive: on the same drive, files could be overwritten by accident.</translation>
    </message>
    <message>
        <source>选择上面的选项，然后单击&quot;下一步&quot;，扫描将开始。</source>
        <translation>Choose the options above, then click &quot;Next&quot; to start the scan.</translation>
    </message>
    <message>
        <source>第 2 步-</source>
        <translation>Step 2</translation>
    </message>
    <message>
        <source>第 3 步-</source>
        <translation>Step 3</translation>
    </message>
    <message>
        <source>完成</source>
        <translation>Finish</translation>
    </message>
    <message>
        <source>&lt; 返回</source>
        <translation>&lt; Back</translation>
    </message>
    <message>
        <source>下一步 &gt;</source>
        <translation>Next &gt;</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>文件(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>帮助(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>新建扫描 （转到第 1 步）</source>
        <translation>New scan (go to step 1)</translation>
    </message>
    <message>
        <source>深度扫描（精确文件结尾）</source>
        <translation>Deep scan (exact file ends)</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Snapsalvager 帮助</source>
        <translation>Snapsalvager Help</translation>
    </message>
    <message>
        <source>Snapsalvager 网站</source>
        <translation>Snapsalvager Website</translation>
    </message>
    <message>
        <source>Snapsalvager 支持</source>
        <translation>Snapsalvager Support</translation>
    </message>
    <message>
        <source>检查 Snapsalvager 更新</source>
        <translation>Check for Snapsalvager Updates</translation>
    </message>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>扫描时保存存储卡映像…</source>
        <translation>Save a Card Image While Scanning…</translation>
    </message>
</context>
<context>
    <name>PreviewPage</name>
    <message>
        <source>结果预览</source>
        <translation>Preview of the results</translation>
    </message>
    <message>
        <source>选择预览页面：</source>
        <translation>Preview page:</translation>
    </message>
    <message>
        <source>&lt;</source>
        <translation>&lt;</translation>
    </message>
    <message>
        <source>预览上一页</source>
        <translation>Previous preview page</translation>
    </message>
    <message>
        <source>1/1</source>
        <translation>1/1</translation>
    </message>
    <message>
        <source>&gt;</source>
        <translation>&gt;</translation>
    </message>
    <message>
        <source>预览下一页</source>
        <translation>Next preview page</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Preview</translation>
    </message>
    <message>
        <source>C1</source>
        <translation>C1</translation>
    </message>
    <message>
        <source>C2</source>
        <translation>C2</translation>
    </message>
    <message>
        <source>C3</source>
        <translation>C3</translation>
    </message>
    <message>
        <source>C4</source>
        <translation>C4</translation>
    </message>
    <message>
        <source>C5</source>
        <translation>C5</translation>
    </message>
    <message>
        <source>C6</source>
        <translation>C6</translation>
    </message>
    <message>
        <source>文件统计</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>总数：</source>
        <translation>Total:</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>选择：</source>
        <translation>Ticked:</translation>
    </message>
    <message>
        <source>选择所有</source>
        <translation>Select all</translation>
    </message>
    <message>
        <source>选择所有文件</source>
        <translation>Select all files</translation>
    </message>
    <message>
        <source>取消全选</source>
        <translation>Select none</translation>
    </message>
    <message>
        <source>取消选择所有文件</source>
        <translation>Clear the selection of all files</translation>
    </message>
    <message>
        <source>保留原来的文件名和文件夹</source>
        <translation>Keep original names and folders</translation>
    </message>
    <message>
        <source>什么问题吗？</source>
        <translation>Questions?</translation>
    </message>
    <message>
        <source>有关于预览的问题吗？联机帮助，请单击此处。</source>
        <translation>Questions about the preview? Click here for online help.</translation>
    </message>
    <message>
        <source>预览的排列顺序</source>
        <translation>The order of the preview</translation>
    </message>
    <message>
        <source>按编号</source>
        <translation>By number</translation>
    </message>
    <message>
        <source>按类型</source>
        <translation>By kind</translation>
    </message>
    <message>
        <source>按日期</source>
        <translation>By date</translation>
    </message>
    <message>
        <source>按检查结果</source>
        <translation>By verdict</translation>
    </message>
    <message>
        <source>只选完好的文件</source>
        <translation>Tick only whole files</translation>
    </message>
    <message>
        <source>只选择解码检查为完好的文件，其余的都不选</source>
        <translation>Tick only the files that decoded whole; untick all others</translation>
    </message>
</context>
<context>
    <name>QuickStatusForm</name>
    <message>
        <source>PStatus</source>
        <translation>PStatus</translation>
    </message>
</context>
<context>
    <name>RecoveryDoneForm</name>
    <message>
        <source>Snapsalvager</source>
        <translation>Snapsalvager</translation>
    </message>
    <message>
        <source>background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:0.6 #ffffff, stop:1 #eef2f9);</source>
        <translation>background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:0.6 #ffffff, stop:1 #eef2f9);</translation>
    </message>
    <message>
        <source>扫描完成</source>
        <translation>Scan complete</translation>
    </message>
    <message>
        <source>N/A</source>
        <translation>N/A</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>ScanPage</name>
    <message>
        <source>扫描进度</source>
        <translation>Scan progress</translation>
    </message>
    <message>
        <source>驱动器号：</source>
        <translation>Drive letter:</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>存储大小： 0 MB</source>
        <translation>Size: 0 MB</translation>
    </message>
    <message>
        <source>要检测的文件类型：</source>
        <translation>File types sought:</translation>
    </message>
    <message>
        <source>已扫描的扇区:</source>
        <translation>Sectors scanned:</translation>
    </message>
    <message>
        <source>无法访问的扇区：</source>
        <translation>Bad sectors:</translation>
    </message>
    <message>
        <source>找到的文件：</source>
        <translation>Files found:</translation>
    </message>
    <message>
        <source>99999</source>
        <translation>99999</translation>
    </message>
    <message>
        <source>预计完成：</source>
        <translation>Time left:</translation>
    </message>
    <message>
        <source>00:00:00</source>
        <translation>00:00:00</translation>
    </message>
    <message>
        <source>#</source>
        <translation>#</translation>
    </message>
    <message>
        <source>文件名</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>属性</source>
        <translation>Properties</translation>
    </message>
    <message>
        <source>找到上面列出的文件如果停止可以恢复和保存。</source>
        <translation>The files listed above can be recovered and saved if you stop.</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
</context>
<context>
    <name>Snapsalvager</name>
    <message>
        <source>原来的文件名：%1</source>
        <translation>Original name: %1</translation>
    </message>
    <message>
        <source>原来的日期：%1</source>
        <translation>Original date: %1</translation>
    </message>
    <message>
        <source>没有获得读取存储卡 %1 的授权：身份验证被取消或被拒绝。<byte value="xd"/>
<byte value="xd"/>
请再次点击“下一步”，并在系统弹出的身份验证窗口中输入密码。</source>
        <translation>Snapsalvager was not allowed to read the memory card %1: the authentication was cancelled or refused.<byte value="xd"/>
<byte value="xd"/>
Click &quot;Next&quot; again and enter your password in the authentication window the system shows.</translation>
    </message>
    <message>
        <source>存储卡 %1 正在使用中（例如已被挂载），无法打开。<byte value="xd"/>
<byte value="xd"/>
请在文件管理器中卸载该卡（不要拔出），然后再次点击“下一步”。</source>
        <translation>The memory card %1 is in use (it may be mounted) and cannot be opened.<byte value="xd"/>
<byte value="xd"/>
Unmount the card in the file manager (do not remove it), then click &quot;Next&quot; again.</translation>
    </message>
    <message>
        <source>等待身份验证超时，存储卡 %1 没有被打开。<byte value="xd"/>
<byte value="xd"/>
请再次点击“下一步”重试。</source>
        <translation>The authentication timed out; the memory card %1 was not opened.<byte value="xd"/>
<byte value="xd"/>
Click &quot;Next&quot; to try again.</translation>
    </message>
    <message>
        <source>没有获得读取存储卡 %1 的授权：这里没有可以询问密码的身份验证程序（polkit 身份验证代理），所以系统不会弹出身份验证窗口。<byte value="xd"/>
<byte value="xd"/>
请在桌面会话中启动 Snapsalvager（桌面会提供身份验证代理），或者请系统管理员帮助您。</source>
        <translation>Snapsalvager was not allowed to read the memory card %1: no authentication agent (polkit) is here to ask for a password, so the system shows no authentication window.<byte value="xd"/>
<byte value="xd"/>
Start Snapsalvager in a desktop session (the desktop provides the agent), or ask your system administrator for help.</translation>
    </message>
    <message>
        <source>系统的磁盘服务 udisks2 无法打开存储卡 %1。详细信息已写到终端（标准错误输出）。</source>
        <translation>The system&apos;s disk service udisks2 could not open the memory card %1. The details were written to the terminal (standard error).</translation>
    </message>
    <message>
        <source>系统的磁盘服务 udisks2 不认识这个设备。</source>
        <translation>The system&apos;s disk service udisks2 does not know this device.</translation>
    </message>
    <message>
        <source>系统的磁盘服务 udisks2 交回的存储卡 %1 无法读取。</source>
        <translation>The memory card %1 that the system&apos;s disk service udisks2 handed over cannot be read.</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>是(&amp;Y)</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>否(&amp;N)</source>
        <translation>&amp;No</translation>
    </message>
    <message>
        <source>桌面无法打开它（xdg-open 不存在或运行失败）。<byte value="xd"/>
<byte value="xd"/>
请手动打开：<byte value="xd"/>
</source>
        <translation>The desktop could not open it (xdg-open is missing or failed).<byte value="xd"/>
<byte value="xd"/>
Please open it yourself:<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>总共 %1 个文件. </source>
        <translation>%1 files in all. </translation>
    </message>
    <message>
        <source>你可以预览并选择所需的文件，然后按“下一步”进行保存。</source>
        <translation>You can preview and choose the files you want, then click &quot;Next&quot; to save them.</translation>
    </message>
    <message>
        <source>版本 6.10 build 1210</source>
        <translation>Version 6.10 build 1210</translation>
    </message>
    <message>
        <source>没有选中任何文件。继续将删除找到的全部 %1 个文件的临时文件，它们将无法再恢复。<byte value="xd"/>
<byte value="xd"/>
确定要删除它们吗？单击 [否] 返回并选择要保存的文件。</source>
        <translation>No file is selected. Going on deletes the temporary files of all %1 files found, and they can no longer be recovered.<byte value="xd"/>
<byte value="xd"/>
Delete them? Click [No] to go back and choose the files to save.</translation>
    </message>
    <message>
        <source>完成了整个恢复过程。</source>
        <translation>The whole recovery is complete.</translation>
    </message>
    <message>
        <source>恢复过程已结束，但有 %1 个文件未能保存。</source>
        <translation>The recovery has ended, but %1 file(s) could not be saved.</translation>
    </message>
    <message>
        <source>
未能保存的文件的临时副本保留在 </source>
        <translation>
Temporary copies of the files not saved are kept in </translation>
    </message>
    <message>
        <source>注意： 有 %1 个选中的文件未能保存到 %2（该文件夹中可能已有同名的文件）：</source>
        <translation>Note: %1 of the selected files could not be saved in %2 (the folder may already hold files of the same names):</translation>
    </message>
    <message>
        <source>它们的临时副本（%1 个）没有被删除，保留在 %2 中。</source>
        <translation>Their temporary copies (%1) were not deleted; they are kept in %2.</translation>
    </message>
    <message>
        <source>获取磁盘信息。它只需几秒钟...</source>
        <translation>Reading the disk information. This takes only a few seconds...</translation>
    </message>
    <message>
        <source>存储大小:  %1 MB</source>
        <translation>Size:  %1 MB</translation>
    </message>
    <message>
        <source>扫描正在进行中...</source>
        <translation>Scan in progress...</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>继续</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>上面列出找到的文件如果停止可以恢复并且保存。</source>
        <translation>The files listed above can be recovered and saved if you stop.</translation>
    </message>
    <message>
        <source>点击“下一步”进行预览恢复的图片。</source>
        <translation>Click &quot;Next&quot; to preview the recovered pictures.</translation>
    </message>
    <message>
        <source>扫描因错误而中止：</source>
        <translation>The scan ended on an error:</translation>
    </message>
    <message>
        <source>发现共有 %1 个文件。 <byte value="xd"/>
<byte value="xd"/>
请按[确定]，然后按[下一步]按钮可以预览并保存。</source>
        <translation>%1 file(s) found in all. <byte value="xd"/>
<byte value="xd"/>
Click [OK], then the [Next] button to preview and save them.</translation>
    </message>
    <message>
        <source>选择磁盘映像文件...</source>
        <translation>Choose a disk-image file...</translation>
    </message>
    <message>
        <source>请选择您的存储卡的盘符...</source>
        <translation>Please choose your memory card&apos;s drive letter...</translation>
    </message>
    <message>
        <source>选择磁盘映像文件</source>
        <translation>Choose a disk-image file</translation>
    </message>
    <message>
        <source>磁盘映像文件 (*.img *.dd *.raw *.bin *.dmg *.iso);;所有文件 (*)</source>
        <translation>Disk-image files (*.img *.dd *.raw *.bin *.dmg *.iso);;All files (*)</translation>
    </message>
    <message>
        <source>无法打开磁盘映像文件：<byte value="xd"/>
</source>
        <translation>Cannot open the disk-image file:<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>选择目标文件夹</source>
        <translation>Choose the destination folder</translation>
    </message>
    <message>
        <source>注意： 看来你没有使用&quot;管理员身份&quot;登录。在某些情况下，没有&quot;管理员&quot;权限 Snapsalvager 可能无法访问和恢复您的数据：它不能直接读取存储卡，也无法通过系统的磁盘服务 udisks2 请求授权。<byte value="xd"/>
<byte value="xd"/>
可以这样解决：请系统管理员帮助您；或者以桌面的管理员权限启动 Snapsalvager（pkexec snapsalvager）；或者加入存储卡设备所属的组“%1”（sudo usermod -aG %1 用户名，然后重新登录）。<byte value="xd"/>
<byte value="xd"/>
单击 [是] 立即关闭 Snapsalvager 或单击 [否]，继续。</source>
        <translation>Note: you do not seem to be logged in as an &quot;administrator&quot;. Without &quot;administrator&quot; rights Snapsalvager may in some cases be unable to reach and recover your data: it cannot read the memory card directly, nor ask for permission through the system&apos;s disk service udisks2.<byte value="xd"/>
<byte value="xd"/>
To solve this, ask your system administrator for help; or start Snapsalvager with the desktop&apos;s administrator rights (pkexec snapsalvager); or join the card device&apos;s group &quot;%1&quot; (sudo usermod -aG %1 USERNAME, then log in again).<byte value="xd"/>
<byte value="xd"/>
Click [Yes] to close Snapsalvager now, or [No] to go on.</translation>
    </message>
    <message>
        <source>请点击“下一步”按钮继续，或“返回”按钮返回。</source>
        <translation>Click the &quot;Next&quot; button to go on, or &quot;Back&quot; to go back.</translation>
    </message>
    <message>
        <source>保存恢复的文件...</source>
        <translation>Saving the recovered files...</translation>
    </message>
    <message>
        <source>下一步 &gt;</source>
        <translation>Next &gt;</translation>
    </message>
    <message>
        <source>完成</source>
        <translation>Finish</translation>
    </message>
    <message>
        <source>请注意，“步骤3 - 预览”点击[返回]按钮将回到“步骤1 - 扫描选项”。如果你想从存储卡中恢复丢失的照片,您将需要再次进行扫描。<byte value="xd"/>
<byte value="xd"/>
你一定要返回到“步骤1 - 扫描选项”吗?</source>
        <translation>Note: clicking [Back] in &quot;Step 3 - Preview&quot; goes back to &quot;Step 1 - Scan options&quot;. To recover the lost photos from the memory card you would need to scan again.<byte value="xd"/>
<byte value="xd"/>
Do you really want to go back to &quot;Step 1 - Scan options&quot;?</translation>
    </message>
    <message>
        <source>Snapsalvager 正在扫描你的内存卡。您确定要终止扫描并退出 Snapsalvager 吗？</source>
        <translation>Snapsalvager is scanning your memory card. Do you really want to stop the scan and quit Snapsalvager?</translation>
    </message>
    <message>
        <source>你确定现在退出 Snapsalvager?</source>
        <translation>Do you really want to quit Snapsalvager?</translation>
    </message>
    <message>
        <source>新建扫描将从列表中去掉这次扫描找到的 %1 个文件。它们不会被删除，其临时文件保留在 %2 中（下一次扫描开始时会移到其中一个带日期的子文件夹），以后可以用 snapsalvager-cli restore 命令保存它们。<byte value="xd"/>
<byte value="xd"/>
确定要新建扫描吗？单击 [否] 留在这里，仍可保存它们。</source>
        <translation>A new scan removes the %1 files this scan found from the list. They are not deleted: their temporary files stay in %2 (the next scan moves them into a dated subfolder), and you can save them later with the snapsalvager-cli restore command.<byte value="xd"/>
<byte value="xd"/>
Start a new scan? Click [No] to stay here and still save them.</translation>
    </message>
    <message>
        <source>存储卡映像</source>
        <translation>Card Image</translation>
    </message>
    <message>
        <source>无法写入存储卡映像：</source>
        <translation>Cannot write the card image: </translation>
    </message>
    <message>
        <source>上次将此存储卡扫描到此文件夹时被中断（已扫描 %1/%2 个扇区，找到 %3 个文件）。
是否从中断处继续扫描？选择“否”将从头重新扫描。</source>
        <translation>The last scan of this card into this folder was interrupted (%1/%2 sectors scanned, %3 files found).
Continue it from where it stopped? [No] scans again from the start.</translation>
    </message>
    <message>
        <source>Windows 无法打开它（没有程序可以打开这种文件）。<byte value="xd"/>
<byte value="xd"/>
请手动打开：<byte value="xd"/>
</source>
        <translation>Windows cannot open it (no program opens this kind of file).<byte value="xd"/>
<byte value="xd"/>
Please open it yourself:<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>注意： 看来你没有使用&quot;管理员身份&quot;登录。在某些情况下，没有&quot;管理员&quot;权限 Snapsalvager 可能无法访问和恢复您的数据。如果你没有登录为&quot;管理员&quot;，建议您关闭 Snapsalvager，然后重新登录为&quot;管理员&quot;或通过右键点击 Snapsalvager 快捷方式允许 Snapsalvager 到&quot;用管理员身份运行&quot;。<byte value="xd"/>
<byte value="xd"/>
单击 [是] 立即关闭 Snapsalvager 或单击 [否]，继续。</source>
        <translation>Note: you do not seem to be logged in as an administrator. Without administrator rights Snapsalvager may not be able to reach and recover your data in some cases. If you are not logged in as an administrator, we suggest closing Snapsalvager, then logging in again as an administrator, or right-clicking the Snapsalvager shortcut and choosing &quot;Run as administrator&quot;.<byte value="xd"/>
<byte value="xd"/>
Click [Yes] to close Snapsalvager now, or [No] to go on.</translation>
    </message>
    <message>
        <source>Snapsalvager 正在保存恢复的文件。窗口将保持打开，直到保存完成。<byte value="xd"/>
<byte value="xd"/>
保存完成后退出 Snapsalvager 吗？</source>
        <translation>Snapsalvager is saving the recovered files. The window stays open until the save is finished.<byte value="xd"/>
<byte value="xd"/>
Quit Snapsalvager when the save is finished?</translation>
    </message>
    <message>
        <source>你确定现在退出 Snapsalvager?<byte value="xd"/>
<byte value="xd"/>
这次扫描找到的 %1 个文件还没有保存。它们不会被删除，其临时文件保留在 %2 中，以后可以用 snapsalvager-cli restore 命令保存它们。</source>
        <translation>Do you really want to quit Snapsalvager?<byte value="xd"/>
<byte value="xd"/>
The %1 files this scan found are not saved yet. They are not deleted: their temporary files stay in %2, and you can save them later with the snapsalvager-cli restore command.</translation>
    </message>
    <message>
        <source>重要说明： 已恢复的文件包含&quot;%1&quot;文件。那些已恢复的文件在某些情况下可能需要后处理或他们不能正常打开。<byte value="xd"/>
<byte value="xd"/>
要现在打开介绍后处理工具的帮助页面吗？</source>
        <translation>Important: the recovered files include &quot;%1&quot; files. In some cases these recovered files may need post-processing, or they may not open normally.<byte value="xd"/>
<byte value="xd"/>
Open the help page about post-processing tools now?</translation>
    </message>
    <message>
        <source>正在检查：%1/%2</source>
        <translation>Checking: %1/%2</translation>
    </message>
    <message>
        <source>只选完好的文件</source>
        <translation>Tick only whole files</translation>
    </message>
    <message>
        <source>照片</source>
        <translation>Photos</translation>
    </message>
    <message>
        <source>RAW 和 HEIF 照片</source>
        <translation>Raw and HEIF photos</translation>
    </message>
    <message>
        <source>视频</source>
        <translation>Videos</translation>
    </message>
    <message>
        <source>音频</source>
        <translation>Audio</translation>
    </message>
    <message>
        <source>其他文件</source>
        <translation>Other files</translation>
    </message>
    <message>
        <source>已损坏</source>
        <translation>Damaged</translation>
    </message>
    <message>
        <source>无法读取的扇区</source>
        <translation>Unreadable sectors</translation>
    </message>
    <message>
        <source>空闲或未知</source>
        <translation>Free or unknown</translation>
    </message>
    <message>
        <source>存储卡分布图：找到的文件按类型着色（照片蓝色，RAW 和 HEIF 照片青色，视频紫色，音频橙色，其他文件棕色），已损坏的文件带斜线，无法读取的扇区红色，空闲或未知的部分灰色。</source>
        <translation>Map of the card: the files found, coloured by kind (photos blue, raw and HEIF photos teal, videos purple, audio orange, other files brown); damaged files hatched, unreadable sectors red, free or unknown space grey.</translation>
    </message>
    <message>
        <source>已保存为 %1</source>
        <translation>Saved as %1</translation>
    </message>
</context>
<context>
    <name>StatusForm</name>
    <message>
        <source>Snapsalvager</source>
        <translation>Snapsalvager</translation>
    </message>
    <message>
        <source>background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #e8eef8); border-bottom: 1px solid #c8d4e8;</source>
        <translation>background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #e8eef8); border-bottom: 1px solid #c8d4e8;</translation>
    </message>
    <message>
        <source>存储容量检测</source>
        <translation>Memory card capacity</translation>
    </message>
    <message>
        <source>Snapsalvager 不能准确地检测你的记忆卡容量。请确认您已经插入了新卡，并选择正确的驱动器号的卡。如果是的话，Snapsalvager 可能无法在某些情况下检测内存卡容量应有卡损坏。若要检索最可恢复的文件，请验证以下卡容量值，如果它不正确并调整它。</source>
        <translation>Snapsalvager cannot measure your memory card&apos;s capacity exactly. Make sure you have inserted the card and chosen its drive letter. If you have, the card may be damaged, which can keep Snapsalvager from measuring its capacity. To recover as many files as possible, check the capacity below and correct it if it is wrong.</translation>
    </message>
    <message>
        <source>驱动器号：</source>
        <translation>Drive letter:</translation>
    </message>
    <message>
        <source>E:</source>
        <translation>E:</translation>
    </message>
    <message>
        <source>卡容量：</source>
        <translation>Card capacity:</translation>
    </message>
    <message>
        <source>MB</source>
        <translation>MB</translation>
    </message>
    <message>
        <source>GB</source>
        <translation>GB</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>VideoTypeForm</name>
    <message>
        <source>Snapsalvager</source>
        <translation>Snapsalvager</translation>
    </message>
    <message>
        <source>视频文件类型来检测和恢复</source>
        <translation>Video file types to find and recover</translation>
    </message>
    <message>
        <source>如果您知道您的相机使用的视频文件类型，请从上面的列表中选择它，这将减少扫描时间并提高准确性。如果你不确定，请只选择 [全部]。</source>
        <translation>If you know the video file type your camera uses, choose it in the list above: the scan is faster and more accurate. If you are not sure, just choose [All].</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
</TS>
