<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>FileForm</name>
    <message>
        <source>文件名过长，控制器无法接收</source>
        <translation>file name too long for the controller</translation>
    </message>
</context>
<context>
    <name>PrgForm</name>
    <message>
        <source>替换(replace)</source>
        <translation>替换(replace)</translation>
    </message>
    <message>
        <source>未从所选设备读取程序(no program read from the selected device)</source>
        <translation>未从所选设备读取程序(no program read from the selected device)</translation>
    </message>
    <message>
        <source>程序已存在,是否替换(replace):</source>
        <translation>程序已存在,是否替换(replace):</translation>
    </message>
    <message>
        <source>历史</source>
        <translation>History</translation>
    </message>
    <message>
        <source>历史与比较…</source>
        <translation>History and compare…</translation>
    </message>
    <message>
        <source>预览时</source>
        <translation>As previewed</translation>
    </message>
    <message>
        <source>控制器</source>
        <translation>Controller</translation>
    </message>
</context>
<context>
    <name>ReadStatusLine</name>
    <message>
        <source>未选择设备</source>
        <translation>no device selected</translation>
    </message>
    <message>
        <source>未连接 (代码 2)</source>
        <translation>not connected (code 2)</translation>
    </message>
    <message>
        <source>设备忙 (代码 9)</source>
        <translation>busy (code 9)</translation>
    </message>
    <message>
        <source>读取错误 (代码 %1)</source>
        <translation>read failed (code %1)</translation>
    </message>
    <message>
        <source>上次读取失败：%1</source>
        <translation>Last read failed: %1</translation>
    </message>
</context>
<context>
    <name>UpLoadDialog</name>
    <message>
        <source>编号超出 (0-9999)</source>
        <translation>number out of range (0-9999)</translation>
    </message>
    <message>
        <source>未能存档</source>
        <translation>not archived</translation>
    </message>
</context>
<context>
    <name>ArchiveGuard</name>
    <message>
        <source>未连接设备</source>
        <translation>No device connected</translation>
    </message>
    <message>
        <source>无法读取控制器上的 %1 (代码 %2)，未能存档，操作未执行</source>
        <translation>Could not read %1 on the controller (code %2), so it was not archived; nothing was done</translation>
    </message>
    <message>
        <source>%1 未能存档 (%2)，操作未执行</source>
        <translation>%1 could not be archived (%2); nothing was done</translation>
    </message>
</context>
<context>
    <name>ArchiveStore</name>
    <message>
        <source>无法建立存档文件夹 %1</source>
        <translation>cannot create the archive folder %1</translation>
    </message>
    <message>
        <source>无法写入存档文件夹 %1</source>
        <translation>cannot write to the archive folder %1</translation>
    </message>
    <message>
        <source>无法写入存档索引 %1</source>
        <translation>cannot write the archive index in %1</translation>
    </message>
</context>
<context>
    <name>BackupCommand</name>
    <message>
        <source>%1	已读取 %2 个程序</source>
        <translation>%1	%2 programs listed</translation>
    </message>
    <message>
        <source>%1	已保存 %2 字节</source>
        <translation>%1	saved, %2 bytes</translation>
    </message>
    <message>
        <source>%1	控制器上没有</source>
        <translation>%1	not on the controller</translation>
    </message>
    <message>
        <source>%1	失败: %2</source>
        <translation>%1	failed: %2</translation>
    </message>
    <message>
        <source>%1: 无法连接控制器，未备份</source>
        <translation>%1: the controller could not be reached; nothing was backed up</translation>
    </message>
    <message>
        <source>%1: %2 个已保存, %3 个失败, 备份在 %4</source>
        <translation>%1: %2 saved, %3 failed, backup in %4</translation>
    </message>
    <message>
        <source>%1	将写入 %2 字节</source>
        <translation>%1	would write %2 bytes</translation>
    </message>
    <message>
        <source>%1	不会写入: %2</source>
        <translation>%1	would not write: %2</translation>
    </message>
    <message>
        <source>%1: 未写入任何内容 (加 --yes 写入)</source>
        <translation>%1: nothing was written (add --yes to write)</translation>
    </message>
    <message>
        <source>%1: 无法连接控制器，未写入</source>
        <translation>%1: the controller could not be reached; nothing was written</translation>
    </message>
    <message>
        <source>%1: %2 个已写入, %3 个失败</source>
        <translation>%1: %2 written, %3 failed</translation>
    </message>
    <message>
        <source>备份名为 &lt;name&gt; 的设备的全部程序和系统文件。</source>
        <translation>Back up every program and system file of the device named &lt;name&gt;.</translation>
    </message>
    <message>
        <source>name</source>
        <translation>name</translation>
    </message>
    <message>
        <source>备份 Configure.xml 中的每个设备。</source>
        <translation>Back up every device of Configure.xml.</translation>
    </message>
    <message>
        <source>备份存放的文件夹 (默认: Configure.xml 旁的 backups/)。</source>
        <translation>Folder for the backups (default: backups/ beside Configure.xml).</translation>
    </message>
    <message>
        <source>dir</source>
        <translation>dir</translation>
    </message>
    <message>
        <source>把备份文件夹 &lt;folder&gt; 中的每个文件写入 --device 指定的设备。</source>
        <translation>Write every file of the backup folder &lt;folder&gt; to the device named by --device.</translation>
    </message>
    <message>
        <source>folder</source>
        <translation>folder</translation>
    </message>
    <message>
        <source>--restore 写入的设备名。</source>
        <translation>The device --restore writes to.</translation>
    </message>
    <message>
        <source>真正写入；没有它 --restore 只列出将写入的内容。</source>
        <translation>Really write; without it --restore only lists what it would write.</translation>
    </message>
    <message>
        <source>未知选项: %1</source>
        <translation>Unknown option: %1</translation>
    </message>
    <message>
        <source>用法: vexa-assistant --backup NAME|--all [--to DIR] 或 --restore FOLDER --device NAME [--yes]</source>
        <translation>Usage: vexa-assistant --backup NAME|--all [--to DIR] or --restore FOLDER --device NAME [--yes]</translation>
    </message>
    <message>
        <source>Configure.xml 中没有设备</source>
        <translation>Configure.xml lists no device</translation>
    </message>
    <message>
        <source>Configure.xml 中没有名为 "%1" 的设备</source>
        <translation>Configure.xml has no device named "%1"</translation>
    </message>
</context>
<context>
    <name>BackupDialog</name>
    <message>
        <source>备份整个控制器</source>
        <translation>Back up the whole controller</translation>
    </message>
    <message>
        <source>项目</source>
        <translation>Item</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>读取中…</source>
        <translation>reading…</translation>
    </message>
    <message numerus="yes">
        <source>%n 个程序</source>
        <translation>
            <numerusform>%n program</numerusform>
            <numerusform>%n programs</numerusform>
        </translation>
    </message>
    <message>
        <source>已保存, %1 字节</source>
        <translation>saved, %1 bytes</translation>
    </message>
    <message>
        <source>控制器上没有</source>
        <translation>not on the controller</translation>
    </message>
    <message>
        <source>失败: %1</source>
        <translation>failed: %1</translation>
    </message>
    <message>
        <source>%1 个已保存, %2 个失败</source>
        <translation>%1 saved, %2 failed</translation>
    </message>
    <message>
        <source>已取消: </source>
        <translation>Cancelled: </translation>
    </message>
    <message>
        <source>备份在 %1</source>
        <translation>Backup in %1</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>BackupRunner</name>
    <message>
        <source>未连接 (代码 %1)</source>
        <translation>not connected (code %1)</translation>
    </message>
    <message>
        <source>忙 (代码 %1)</source>
        <translation>busy (code %1)</translation>
    </message>
    <message>
        <source>读取失败 (代码 %1)</source>
        <translation>read failed (code %1)</translation>
    </message>
    <message>
        <source>无法建立备份文件夹 %1</source>
        <translation>cannot create the backup folder %1</translation>
    </message>
    <message>
        <source>不是程序名</source>
        <translation>not a program name</translation>
    </message>
    <message>
        <source>无法写入 %1</source>
        <translation>cannot write %1</translation>
    </message>
</context>
<context>
    <name>CompareView</name>
    <message>
        <source>内容</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>并排</source>
        <translation>Side by side</translation>
    </message>
    <message>
        <source>合并</source>
        <translation>Unified</translation>
    </message>
    <message>
        <source>忽略顺序号(N)和空格</source>
        <translation>Ignore sequence numbers (N) and spacing</translation>
    </message>
    <message>
        <source>相同</source>
        <translation>Same</translation>
    </message>
    <message numerus="yes">
        <source>%n 行不同</source>
        <translation>
            <numerusform>%n line differs</numerusform>
            <numerusform>%n lines differ</numerusform>
        </translation>
    </message>
    <message>
        <source>比较</source>
        <translation>Compare</translation>
    </message>
</context>
<context>
    <name>HistoryDialog</name>
    <message>
        <source>更新</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>新建</source>
        <translation>New</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>上传</source>
        <translation>Upload</translation>
    </message>
    <message>
        <source>恢复</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>历史版本: %1 (%2)</source>
        <translation>History: %1 (%2)</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>操作</source>
        <translation>Operation</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>比较所选两个版本</source>
        <translation>Compare the two selected versions</translation>
    </message>
    <message>
        <source>与控制器当前程序比较</source>
        <translation>Compare with the controller's program</translation>
    </message>
    <message>
        <source>与本地文件比较</source>
        <translation>Compare with a local file</translation>
    </message>
    <message>
        <source>存档中没有 %1 的版本</source>
        <translation>The archive holds no version of %1</translation>
    </message>
    <message>
        <source>存档版本 %1 无法读取或已损坏</source>
        <translation>The archived version %1 cannot be read or is damaged</translation>
    </message>
    <message>
        <source>%1 与 %2</source>
        <translation>%1 against %2</translation>
    </message>
    <message>
        <source>请选择两个版本</source>
        <translation>Select two versions</translation>
    </message>
    <message>
        <source>请选择一个版本</source>
        <translation>Select one version</translation>
    </message>
    <message>
        <source>控制器上没有 %1</source>
        <translation>The controller has no %1</translation>
    </message>
    <message>
        <source>无法读取控制器上的 %1 (代码 %2)</source>
        <translation>Could not read %1 on the controller (code %2)</translation>
    </message>
    <message>
        <source>控制器</source>
        <translation>Controller</translation>
    </message>
    <message>
        <source>选择本地文件</source>
        <translation>Choose a local file</translation>
    </message>
    <message>
        <source>无法读取 %1</source>
        <translation>Cannot read %1</translation>
    </message>
</context>
<context>
    <name>RestoreDialog</name>
    <message>
        <source>与备份比较 / 恢复</source>
        <translation>Compare with a backup / restore</translation>
    </message>
    <message>
        <source>项目</source>
        <translation>Item</translation>
    </message>
    <message>
        <source>比较</source>
        <translation>Compare</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>选择备份…</source>
        <translation>Choose a backup…</translation>
    </message>
    <message>
        <source>写回所选</source>
        <translation>Write the chosen back</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>读取控制器: %1</source>
        <translation>Reading the controller: %1</translation>
    </message>
    <message>
        <source>写入: %1</source>
        <translation>Writing: %1</translation>
    </message>
    <message>
        <source>%1 个已写入, %2 个失败</source>
        <translation>%1 written, %2 failed</translation>
    </message>
    <message>
        <source>已取消: </source>
        <translation>Cancelled: </translation>
    </message>
    <message>
        <source>相同</source>
        <translation>Same</translation>
    </message>
    <message>
        <source>已改变</source>
        <translation>Changed</translation>
    </message>
    <message>
        <source>仅在备份中</source>
        <translation>Only in the backup</translation>
    </message>
    <message>
        <source>仅在控制器上</source>
        <translation>Only on the controller</translation>
    </message>
    <message>
        <source>备份文件不可用</source>
        <translation>Backup file unusable</translation>
    </message>
    <message>
        <source>选择备份文件夹</source>
        <translation>Choose a backup folder</translation>
    </message>
    <message>
        <source>与备份比较 / 恢复: %1</source>
        <translation>Compare with a backup / restore: %1</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>已取消</source>
        <translation>Cancelled</translation>
    </message>
    <message>
        <source>无法读取控制器</source>
        <translation>Cannot read the controller</translation>
    </message>
    <message>
        <source>比较完成</source>
        <translation>Compare done</translation>
    </message>
    <message>
        <source>比较完成; 控制器上无法读取: %1</source>
        <translation>Compare done; could not read on the controller: %1</translation>
    </message>
    <message>
        <source>没有选择项目</source>
        <translation>No item chosen</translation>
    </message>
</context>
<context>
    <name>RestoreRunner</name>
    <message>
        <source>找不到备份文件夹 %1</source>
        <translation>No backup folder %1</translation>
    </message>
    <message>
        <source>无法读取</source>
        <translation>cannot be read</translation>
    </message>
    <message>
        <source>与备份清单不符</source>
        <translation>does not match the manifest</translation>
    </message>
    <message>
        <source>文件缺失</source>
        <translation>file missing</translation>
    </message>
    <message>
        <source>已写入</source>
        <translation>written</translation>
    </message>
    <message>
        <source>未连接 (代码 %1)</source>
        <translation>not connected (code %1)</translation>
    </message>
    <message>
        <source>非空闲 (代码 %1)</source>
        <translation>not idle (code %1)</translation>
    </message>
    <message>
        <source>忙 (代码 %1)</source>
        <translation>busy (code %1)</translation>
    </message>
    <message>
        <source>未能存档，未写入</source>
        <translation>not archived, not written</translation>
    </message>
    <message>
        <source>写入失败 (代码 %1)</source>
        <translation>write failed (code %1)</translation>
    </message>
    <message>
        <source>备份文件已改变或无法读取</source>
        <translation>the backup file changed or cannot be read</translation>
    </message>
</context>
<context>
    <name>SetForm</name>
    <message>
        <source>替换或删除前先存档</source>
        <translation>Archive before replacing or deleting</translation>
    </message>
    <message>
        <source>Configure.xml 旁的 backups/</source>
        <translation>backups/ beside Configure.xml</translation>
    </message>
    <message>
        <source>存档文件夹</source>
        <translation>Archive folder</translation>
    </message>
    <message>
        <source>每个名称保留版本数</source>
        <translation>Versions kept per name</translation>
    </message>
    <message>
        <source>备份文件夹</source>
        <translation>Backup folder</translation>
    </message>
</context>
<context>
    <name>deviceWidget</name>
    <message>
        <source>备份整个控制器…</source>
        <translation>Back up the whole controller…</translation>
    </message>
    <message>
        <source>与备份比较 / 恢复…</source>
        <translation>Compare with a backup / restore…</translation>
    </message>
</context>
</TS>
