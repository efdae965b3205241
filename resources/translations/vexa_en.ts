<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>ArchiveGuard</name>
    <message>
        <source>代码 %1</source>
        <translation>code %1</translation>
    </message>
    <message>
        <source>大小不符</source>
        <translation>size differs</translation>
    </message>
    <message>
        <source>未连接设备</source>
        <translation>No device connected</translation>
    </message>
    <message>
        <source>无法读取控制器上的 %1 (%2)，未能存档，操作未执行</source>
        <translation>Could not read %1 on the controller (%2), so it was not archived; nothing was done</translation>
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
    <message>
        <source>无法读取存档索引 %1</source>
        <translation>cannot read the archive index in %1</translation>
    </message>
</context>
<context>
    <name>BackupCommand</name>
    <message>
        <source>--restore 也写入备份清单没有列出的文件。</source>
        <translation>--restore also writes files the backup&apos;s manifest does not name.</translation>
    </message>
    <message>
        <source>%1 (加 --unchecked 写入)</source>
        <translation>%1 (add --unchecked to write it)</translation>
    </message>
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
        <source>真正写入；没有它 --restore 只列出将写入的内容。</source>
        <translation>Really write; without it --restore only lists what it would write.</translation>
    </message>
    <message>
        <source>未知选项: %1</source>
        <translation>Unknown option: %1</translation>
    </message>
    <message>
        <source>Configure.xml 中没有设备</source>
        <translation>Configure.xml lists no device</translation>
    </message>
    <message>
        <source>Configure.xml 中没有名为 &quot;%1&quot; 的设备</source>
        <translation>Configure.xml has no device named &quot;%1&quot;</translation>
    </message>
    <message>
        <source>%1；未写入 (加 --force 仍写入)</source>
        <translation>%1; nothing written (add --force to write anyway)</translation>
    </message>
    <message>
        <source>备份名为 &lt;name&gt; (或 Id 为 &lt;name&gt;) 的设备的全部程序和系统文件。</source>
        <translation>Back up every program and system file of the device named &lt;name&gt; (or whose Id is &lt;name&gt;).</translation>
    </message>
    <message>
        <source>--restore 写入的设备名 (或其 Id)。</source>
        <translation>The name (or Id) of the device --restore writes to.</translation>
    </message>
    <message>
        <source>备份来自另一设备时仍写入。</source>
        <translation>Write even when the backup comes from another device.</translation>
    </message>
    <message>
        <source>用法: vexa-assistant --backup NAME|--all [--to DIR] 或 --restore FOLDER --device NAME [--yes] [--unchecked] [--force]</source>
        <translation>Usage: vexa-assistant --backup NAME|--all [--to DIR] or --restore FOLDER --device NAME [--yes] [--unchecked] [--force]</translation>
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
    <message>
        <source>(目录)</source>
        <translation>(directory)</translation>
    </message>
</context>
<context>
    <name>CompareView</name>
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
    <message>
        <source>− %1    + %2</source>
        <translation>− %1    + %2</translation>
    </message>
    <message>
        <source>上一处</source>
        <translation>Previous</translation>
    </message>
    <message>
        <source>上一处不同 (Shift+F7)</source>
        <translation>Previous difference (Shift+F7)</translation>
    </message>
    <message>
        <source>下一处</source>
        <translation>Next</translation>
    </message>
    <message>
        <source>下一处不同 (F7)</source>
        <translation>Next difference (F7)</translation>
    </message>
    <message>
        <source> (第 %1/%2 处)</source>
        <translation> (%1 of %2)</translation>
    </message>
</context>
<context>
    <name>DeviceManager</name>
    <message>
        <source>当前选中设备:</source>
        <translation>SelectDevice</translation>
    </message>
    <message>
        <source>无</source>
        <translation>None</translation>
    </message>
    <message>
        <source>增加设备</source>
        <translation>AddDevice</translation>
    </message>
    <message>
        <source>移除设备</source>
        <translation>RemoveDevice</translation>
    </message>
</context>
<context>
    <name>FileForm</name>
    <message>
        <source>文件名过长，控制器无法接收</source>
        <translation>file name too long for the controller</translation>
    </message>
    <message>
        <source>文件名称</source>
        <translation>File Name</translation>
    </message>
    <message>
        <source>自定义</source>
        <translation>自定义</translation>
    </message>
    <message>
        <source>执行指令</source>
        <translation>Function</translation>
    </message>
    <message>
        <source>读取文件</source>
        <translation>ReadFile</translation>
    </message>
    <message>
        <source>下载文件</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>查找</source>
        <translation>Find</translation>
    </message>
    <message>
        <source>文件名称</source>
        <comment>the file shown, before one is read</comment>
        <translation>Current File</translation>
    </message>
    <message>
        <source>数据存放地址</source>
        <translation>数据存放地址</translation>
    </message>
    <message>
        <source>信息</source>
        <translation>信息</translation>
    </message>
    <message>
        <source>文件:%1下载完成</source>
        <translation>文件:%1下载完成</translation>
    </message>
    <message>
        <source>文件:%1下载失败(download failed)
%2</source>
        <translation>文件:%1下载失败(download failed)
%2</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>FormManager</name>
    <message>
        <source>  位置 
  POS</source>
        <translation>   POS</translation>
    </message>
    <message>
        <source>输入输出 
     IO</source>
        <translation>   IO</translation>
    </message>
    <message>
        <source>  程序
  PRG</source>
        <translation>   PRG</translation>
    </message>
    <message>
        <source>   数据
输入输出</source>
        <translation>   FILE</translation>
    </message>
    <message>
        <source>系统参数
   PAR</source>
        <translation>   PAR</translation>
    </message>
    <message>
        <source>  设置
  SET</source>
        <translation>   SET</translation>
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
        <translation>Compare with the controller&apos;s program</translation>
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
    <message>
        <source>无法读取控制器上的 %1：%2</source>
        <translation>Could not read %1 on the controller: %2</translation>
    </message>
</context>
<context>
    <name>HistoryTimeline</name>
    <message>
        <source>程序 %1</source>
        <translation>Program %1</translation>
    </message>
</context>
<context>
    <name>HistoryWindow</name>
    <message>
        <source>车间历史</source>
        <translation>Shop history</translation>
    </message>
    <message>
        <source>%1 的历史</source>
        <translation>History of %1</translation>
    </message>
    <message>
        <source>日</source>
        <translation>Day</translation>
    </message>
    <message>
        <source>周</source>
        <translation>Week</translation>
    </message>
    <message>
        <source>更早</source>
        <translation>Earlier</translation>
    </message>
    <message>
        <source>更晚</source>
        <translation>Later</translation>
    </message>
    <message>
        <source>今天</source>
        <translation>Today</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>导出CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>机床</source>
        <translation>Machine</translation>
    </message>
    <message>
        <source>开机</source>
        <translation>Switched on</translation>
    </message>
    <message>
        <source>运行</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>利用率</source>
        <translation>Utilization</translation>
    </message>
    <message>
        <source>报警次数</source>
        <translation>Alarms</translation>
    </message>
    <message>
        <source>报警时间</source>
        <translation>Alarm time</translation>
    </message>
    <message>
        <source>件数</source>
        <translation>Pieces</translation>
    </message>
    <message>
        <source>程序</source>
        <translation>Programs</translation>
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
        <source>对象</source>
        <translation>Target</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>字节</source>
        <translation>Bytes</translation>
    </message>
    <message>
        <source>数字</source>
        <translation>Figures</translation>
    </message>
    <message>
        <source>每日时长</source>
        <translation>Hours per day</translation>
    </message>
    <message>
        <source>写入与删除</source>
        <translation>Writes and deletes</translation>
    </message>
    <message>
        <source>还没有记录历史。</source>
        <translation>No history recorded yet.</translation>
    </message>
    <message>
        <source>历史记录无法读取：%1</source>
        <translation>The history cannot be read: %1</translation>
    </message>
    <message>
        <source>合计</source>
        <translation>Total</translation>
    </message>
    <message>
        <source>小时</source>
        <translation>Hours</translation>
    </message>
    <message>
        <source>写入程序</source>
        <translation>write program</translation>
    </message>
    <message>
        <source>写入文件</source>
        <translation>write file</translation>
    </message>
    <message>
        <source>删除程序</source>
        <translation>delete program</translation>
    </message>
    <message>
        <source>成功</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>导出失败</source>
        <translation>Export failed</translation>
    </message>
    <message>
        <source>无法写入 %1。</source>
        <translation>Cannot write %1.</translation>
    </message>
    <message>
        <source>停机原因无法保存：%1</source>
        <translation>The stop reasons cannot be saved: %1</translation>
    </message>
    <message>
        <source>班次</source>
        <translation>Shifts</translation>
    </message>
    <message>
        <source>停机原因</source>
        <translation>Stop reasons</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>已保存到 %1</source>
        <translation>Saved to %1</translation>
    </message>
    <message>
        <source>全天</source>
        <translation>Whole day</translation>
    </message>
    <message>
        <source>班外</source>
        <translation>Outside shifts</translation>
    </message>
    <message>
        <source>运行小时</source>
        <translation>Running hours</translation>
    </message>
    <message>
        <source>按班次</source>
        <translation>By shift</translation>
    </message>
    <message>
        <source>每周图表按班次分开运行时间</source>
        <translation>Split the week chart's running time by shift</translation>
    </message>
</context>
<context>
    <name>IoForm</name>
    <message>
        <source>输入口</source>
        <translation>INPUT</translation>
    </message>
    <message>
        <source>输出口</source>
        <translation>OUTPUT</translation>
    </message>
    <message>
        <source>%1
引脚 %2
地址 %3.%4</source>
        <translation>%1
Pin %2
Address %3.%4</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Vexa通讯助手软件(VEXA_DEVAZIDO)</source>
        <translation>VEXA-DEVAZIDO</translation>
    </message>
</context>
<context>
    <name>MqttPassword</name>
    <message>
        <source>密码取自环境变量 VEXA_MQTT_PASSWORD</source>
        <translation>Password from the environment variable VEXA_MQTT_PASSWORD</translation>
    </message>
    <message>
        <source>密码取自文件 %1</source>
        <translation>Password from the file %1</translation>
    </message>
    <message>
        <source>密码文件 %1 无法打开，未连接</source>
        <translation>Password file %1 cannot be opened; not connected</translation>
    </message>
    <message>
        <source>密码文件 %1 不是普通文件，未连接</source>
        <translation>Password file %1 is not a plain file; not connected</translation>
    </message>
    <message>
        <source>密码文件 %1 不属于当前用户，未连接</source>
        <translation>Password file %1 does not belong to this user; not connected</translation>
    </message>
    <message>
        <source>密码文件 %1 其他用户可读（应为 chmod 600），未连接</source>
        <translation>Password file %1 can be read by others (chmod 600 it); not connected</translation>
    </message>
    <message>
        <source>密码文件 %1 过大，未连接</source>
        <translation>Password file %1 is too large; not connected</translation>
    </message>
    <message>
        <source>无法使用系统密钥环（%1）；可用 VEXA_MQTT_PASSWORD 或密码文件</source>
        <translation>The keyring cannot be used (%1); use VEXA_MQTT_PASSWORD or a password file</translation>
    </message>
    <message>
        <source>系统密钥环中没有此代理的密码</source>
        <translation>No password for this broker in the keyring</translation>
    </message>
    <message>
        <source>密码保存在系统密钥环中</source>
        <translation>Password kept in the keyring</translation>
    </message>
    <message>
        <source>无密码（无密钥环时可用 VEXA_MQTT_PASSWORD 或密码文件）</source>
        <translation>No password (without a keyring: VEXA_MQTT_PASSWORD or a password file)</translation>
    </message>
</context>
<context>
    <name>MqttService</name>
    <message>
        <source>未设用户名：不发送密码</source>
        <translation>No user name: no password is sent</translation>
    </message>
    <message>
        <source>正在读取系统密钥环…</source>
        <translation>Reading the keyring…</translation>
    </message>
    <message>
        <source>未能存入系统密钥环（%1），仅本次运行使用；可用 VEXA_MQTT_PASSWORD 或密码文件</source>
        <translation>Could not keep the password in the keyring (%1): used for this run only; use VEXA_MQTT_PASSWORD or a password file</translation>
    </message>
    <message>
        <source>未启用</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>主题前缀不可用：不能为空，不能含 + 或 #，不能以 $ 开头</source>
        <translation>Topic prefix unusable: it must not be empty, hold + or #, or start with $</translation>
    </message>
    <message>
        <source>已连接 %1</source>
        <translation>Connected to %1</translation>
    </message>
    <message>
        <source>无法连接 %1（%2），稍后重试</source>
        <translation>Cannot reach %1 (%2); trying again</translation>
    </message>
    <message>
        <source>代理拒绝连接（%1），稍后重试</source>
        <translation>The broker refused the connection (%1); trying again</translation>
    </message>
    <message>
        <source>代理无响应，稍后重试</source>
        <translation>The broker does not answer; trying again</translation>
    </message>
    <message>
        <source>连接中断（%1），稍后重试</source>
        <translation>Connection lost (%1); trying again</translation>
    </message>
    <message>
        <source>CA 文件不可用（%1）</source>
        <translation>CA file unusable (%1)</translation>
    </message>
    <message>
        <source>正在连接 %1…</source>
        <translation>Connecting to %1…</translation>
    </message>
</context>
<context>
    <name>MqttSetBox</name>
    <message>
        <source>MQTT 发布</source>
        <translation>MQTT publishing</translation>
    </message>
    <message>
        <source>发布到 MQTT 代理</source>
        <translation>Publish to an MQTT broker</translation>
    </message>
    <message>
        <source>不变</source>
        <translation>unchanged</translation>
    </message>
    <message>
        <source>可选，设置后使用 TLS</source>
        <translation>optional; TLS when set</translation>
    </message>
    <message>
        <source>代理地址</source>
        <translation>Broker</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>主题前缀</source>
        <translation>Topic prefix</translation>
    </message>
    <message>
        <source>CA 文件</source>
        <translation>CA file</translation>
    </message>
    <message>
        <source>用户名</source>
        <translation>User</translation>
    </message>
    <message>
        <source>密码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>代理地址不能为空；主题前缀不能为空，不能含 + 或 #，不能以 $ 开头。MQTT 设置未保存</source>
        <translation>The broker must be given; the topic prefix must not be empty, hold + or #, or start with $. MQTT settings not stored</translation>
    </message>
</context>
<context>
    <name>ParForm</name>
    <message>
        <source>（仅显示前%1行）</source>
        <translation> (only the first %1 rows shown)</translation>
    </message>
    <message>
        <source>定位分类</source>
        <translation>定位分类</translation>
    </message>
    <message>
        <source>子项</source>
        <translation>子项</translation>
    </message>
    <message>
        <source>行</source>
        <translation>行</translation>
    </message>
    <message>
        <source>列</source>
        <translation>列</translation>
    </message>
    <message>
        <source>定位分类名称</source>
        <translation>定位分类名称</translation>
    </message>
    <message>
        <source>轴数:</source>
        <translation>轴数:</translation>
    </message>
    <message>
        <source>通道数:</source>
        <translation>通道数:</translation>
    </message>
    <message>
        <source>主轴数:</source>
        <translation>主轴数:</translation>
    </message>
    <message>
        <source>从系统获取参数</source>
        <translation>从系统获取参数</translation>
    </message>
    <message>
        <source>刷新参数</source>
        <translation>刷新参数</translation>
    </message>
    <message>
        <source>从本地获取参数</source>
        <translation>从本地获取参数</translation>
    </message>
    <message>
        <source>下载至本地</source>
        <translation>下载至本地</translation>
    </message>
    <message>
        <source>打开SYS文件</source>
        <translation>打开SYS文件</translation>
    </message>
    <message>
        <source>数据存放地址</source>
        <translation>数据存放地址</translation>
    </message>
    <message>
        <source>信息</source>
        <translation>信息</translation>
    </message>
    <message>
        <source>文件:%1下载完成</source>
        <translation>文件:%1下载完成</translation>
    </message>
    <message>
        <source>文件:%1下载失败</source>
        <translation>文件:%1下载失败</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>PosForm</name>
    <message>
        <source>坐标名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>绝对坐标</source>
        <translation>Abs</translation>
    </message>
    <message>
        <source>机床坐标</source>
        <translation>Mach</translation>
    </message>
    <message>
        <source>转速</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>扭矩</source>
        <translation>Torque</translation>
    </message>
    <message>
        <source>当前程序</source>
        <translation>MainPrg</translation>
    </message>
    <message>
        <source>工作方式</source>
        <translation>WorkStyle</translation>
    </message>
    <message>
        <source>计 件 数</source>
        <translation>Piece</translation>
    </message>
    <message>
        <source>循环时间</source>
        <translation>CircleTime</translation>
    </message>
    <message>
        <source>计件目标</source>
        <translation>Target</translation>
    </message>
    <message>
        <source>运行时间</source>
        <translation>RunTime</translation>
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
    <message>
        <source>程序名</source>
        <translation>NAME</translation>
    </message>
    <message>
        <source>修改日期</source>
        <translation>DATA</translation>
    </message>
    <message>
        <source>文件大小</source>
        <translation>SIZE</translation>
    </message>
    <message>
        <source>程序预览</source>
        <translation>CurrentPrg</translation>
    </message>
    <message>
        <source>刷新列表</source>
        <translation>List</translation>
    </message>
    <message>
        <source>修改程序</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>新建程序</source>
        <translation>New</translation>
    </message>
    <message>
        <source>删除程序</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>下载程序</source>
        <translation>DownLoad</translation>
    </message>
    <message>
        <source>程序样式</source>
        <translation>Style</translation>
    </message>
    <message>
        <source>更新(ok)</source>
        <translation>更新(ok)</translation>
    </message>
    <message>
        <source>取消(cancel)</source>
        <translation>取消(cancel)</translation>
    </message>
    <message>
        <source>删除(delete)</source>
        <translation>删除(delete)</translation>
    </message>
    <message>
        <source>比较(compare)</source>
        <translation>比较(compare)</translation>
    </message>
    <message>
        <source>错误发生(error):</source>
        <translation>错误发生(error):</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>更新程序(update prg)</source>
        <translation>更新程序(update prg)</translation>
    </message>
    <message>
        <source>是否更新程序(update):</source>
        <translation>是否更新程序(update):</translation>
    </message>
    <message>
        <source>更新结束(success):</source>
        <translation>更新结束(success):</translation>
    </message>
    <message>
        <source>新建程序(new prg)</source>
        <translation>新建程序(new prg)</translation>
    </message>
    <message>
        <source>输入程序名(prg name)[0-9999]</source>
        <translation>输入程序名(prg name)[0-9999]</translation>
    </message>
    <message>
        <source>删除程序(delete prg)</source>
        <translation>删除程序(delete prg)</translation>
    </message>
    <message>
        <source>是否删除程序(delete):</source>
        <translation>是否删除程序(delete):</translation>
    </message>
    <message>
        <source>删除错误(error):</source>
        <translation>删除错误(error):</translation>
    </message>
    <message>
        <source>删除结束(success):</source>
        <translation>删除结束(success):</translation>
    </message>
    <message>
        <source>信息(info)</source>
        <translation>信息(info)</translation>
    </message>
    <message>
        <source>程序存放地址(down local)</source>
        <translation>程序存放地址(down local)</translation>
    </message>
    <message>
        <source>下载完成(success):%1</source>
        <translation>下载完成(success):%1</translation>
    </message>
    <message>
        <source>下载失败(error):%1</source>
        <translation>下载失败(error):%1</translation>
    </message>
    <message>
        <source>控制器上的程序在预览后已改变(changed on the controller since preview):</source>
        <translation>控制器上的程序在预览后已改变(changed on the controller since preview):</translation>
    </message>
</context>
<context>
    <name>PrgTextEdit</name>
    <message>
        <source>正在整理程序样式</source>
        <translation>Formatting the program</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>程序样式</source>
        <translation>Style</translation>
    </message>
</context>
<context>
    <name>ReadStatusLine</name>
    <message>
        <source>上次读取失败：%1</source>
        <translation>Last read failed: %1</translation>
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
    <message numerus="yes">
        <source>写入 %n 项到 %1?</source>
        <translation>
            <numerusform>Write %n item to %1?</numerusform>
            <numerusform>Write %n items to %1?</numerusform>
        </translation>
    </message>
    <message>
        <source>写入</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>无法读取 %1</source>
        <translation>Cannot read %1</translation>
    </message>
    <message>
        <source>控制器</source>
        <translation>Controller</translation>
    </message>
    <message>
        <source>备份</source>
        <translation>Backup</translation>
    </message>
    <message>
        <source>%1。仍写入这台控制器？</source>
        <translation>%1. Write to this controller anyway?</translation>
    </message>
</context>
<context>
    <name>RestoreRunner</name>
    <message>
        <source>未校验</source>
        <translation>unchecked</translation>
    </message>
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
        <source>备份文件已改变或无法读取</source>
        <translation>the backup file changed or cannot be read</translation>
    </message>
    <message>
        <source>备份来自另一设备 &quot;%1&quot; (%2, %3, 站号 %4, Id %5)，不是 &quot;%6&quot;</source>
        <translation>The backup comes from another device &quot;%1&quot; (%2, %3, station %4, Id %5), not &quot;%6&quot;</translation>
    </message>
</context>
<context>
    <name>ResultText</name>
    <message>
        <source>未选择设备</source>
        <translation>no device selected</translation>
    </message>
    <message>
        <source>未连接</source>
        <translation>not connected</translation>
    </message>
    <message>
        <source>非空闲</source>
        <translation>not idle</translation>
    </message>
    <message>
        <source>无法打开</source>
        <translation>could not be opened</translation>
    </message>
    <message>
        <source>无法关闭</source>
        <translation>could not be closed</translation>
    </message>
    <message>
        <source>读取失败</source>
        <translation>read failed</translation>
    </message>
    <message>
        <source>写入失败</source>
        <translation>write failed</translation>
    </message>
    <message>
        <source>忙</source>
        <translation>busy</translation>
    </message>
    <message>
        <source>未能存档</source>
        <translation>could not be archived</translation>
    </message>
    <message>
        <source>大小不符</source>
        <translation>size differs</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>failed</translation>
    </message>
    <message>
        <source>%1 (代码 %2)</source>
        <translation>%1 (code %2)</translation>
    </message>
    <message>
        <source>另一程序正在与该设备传输</source>
        <translation>another program is transferring with this controller</translation>
    </message>
    <message>
        <source>校验不符</source>
        <translation>verify failed</translation>
    </message>
</context>
<context>
    <name>SetForm</name>
    <message>
        <source>替换或删除前先存档</source>
        <translation>Archive before replacing or deleting</translation>
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
    <message>
        <source>网口参数</source>
        <translation>Net Par</translation>
    </message>
    <message>
        <source>端口:</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>电脑ip：</source>
        <translation>IP</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>通讯参数</source>
        <translation>Serial par</translation>
    </message>
    <message>
        <source>重连次数：</source>
        <translation>RetriedCount</translation>
    </message>
    <message>
        <source>等待时间：</source>
        <translation>DelayTime</translation>
    </message>
    <message>
        <source>写入后校验</source>
        <translation>Verify after writing</translation>
    </message>
    <message>
        <source>串口参数</source>
        <translation>Rtu par</translation>
    </message>
    <message>
        <source>串口位：</source>
        <translation>SerialPort</translation>
    </message>
    <message>
        <source>波特率：</source>
        <translation>Bite</translation>
    </message>
    <message>
        <source>校验位：</source>
        <translation>Parity</translation>
    </message>
    <message>
        <source>No</source>
        <translation>No</translation>
    </message>
    <message>
        <source>Unuse</source>
        <translation>Unuse</translation>
    </message>
    <message>
        <source>Even（偶）</source>
        <translation>Even（偶）</translation>
    </message>
    <message>
        <source>Odd（奇）</source>
        <translation>Odd（奇）</translation>
    </message>
    <message>
        <source>Space</source>
        <translation>Space</translation>
    </message>
    <message>
        <source>Mark</source>
        <translation>Mark</translation>
    </message>
    <message>
        <source>数据位：</source>
        <translation>Data</translation>
    </message>
    <message>
        <source>停止位：</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>其他设置</source>
        <translation>Other</translation>
    </message>
    <message>
        <source>语言</source>
        <translation>Lanuage</translation>
    </message>
    <message>
        <source>历史保留天数</source>
        <translation>History days</translation>
    </message>
    <message>
        <source>机床历史记录保留的天数，下次启动时生效</source>
        <translation>Days the machines&apos; history is kept; applies at the next start</translation>
    </message>
    <message>
        <source>保存设置</source>
        <translation>store</translation>
    </message>
    <message>
        <source>本机当前未找到此串口</source>
        <translation>Not found on this PC now</translation>
    </message>
    <message>
        <source>默认: backups/</source>
        <translation>default: backups/</translation>
    </message>
    <message>
        <source>留空: Configure.xml 旁的 backups/ 文件夹</source>
        <translation>Empty: the backups/ folder beside Configure.xml</translation>
    </message>
    <message>
        <source>下次启动生效</source>
        <translation>at next start</translation>
    </message>
    <message>
        <source>已保存 %1</source>
        <translation>Stored %1</translation>
    </message>
    <message>
        <source>默认: archive/</source>
        <translation>default: archive/</translation>
    </message>
    <message>
        <source>留空: %1</source>
        <translation>Empty: %1</translation>
    </message>
</context>
<context>
    <name>ShopHistory</name>
    <message>
        <source>历史</source>
        <translation>History</translation>
    </message>
    <message>
        <source>车间历史</source>
        <translation>Shop history</translation>
    </message>
    <message>
        <source>历史记录</source>
        <translation>History</translation>
    </message>
    <message>
        <source>本次运行不记录机床历史：%1</source>
        <translation>The machines&apos; history is not recorded in this run: %1</translation>
    </message>
    <message>
        <source>历史记录文件被另一程序锁定（%1）：新的记录暂存在内存中，文件可用后写入。</source>
        <translation>Another program holds the history file&apos;s lock (%1): what is recorded waits in memory and is written once the file is free.</translation>
    </message>
    <message>
        <source>历史记录已恢复写入；锁定期间有 %1 条记录超出暂存上限，未能保存。</source>
        <translation>The history is written again; %1 records found no room in memory while the file was locked and are lost.</translation>
    </message>
    <message>
        <source>历史记录已恢复写入，暂存的记录已写入文件。</source>
        <translation>The history is written again, with what waited in memory.</translation>
    </message>
</context>
<context>
    <name>StateLook</name>
    <message>
        <source>中断</source>
        <translation>QUIT</translation>
    </message>
    <message>
        <source>运行</source>
        <translation>RUN</translation>
    </message>
    <message>
        <source>报警</source>
        <translation>ALM</translation>
    </message>
    <message>
        <source>空闲</source>
        <translation>FREE</translation>
    </message>
    <message>
        <source>连接中</source>
        <translation>CONNECTING</translation>
    </message>
</context>
<context>
    <name>StopMark</name>
    <message>
        <source>停机未填原因：右键 → 停机原因</source>
        <translation>A stop without a reason: right-click → Stop reason</translation>
    </message>
</context>
<context>
    <name>StopSetBox</name>
    <message>
        <source>班次与停机原因</source>
        <translation>Shifts and stop reasons</translation>
    </message>
    <message>
        <source>班次</source>
        <translation>Shifts</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>结束</source>
        <translation>End</translation>
    </message>
    <message>
        <source>（不用）</source>
        <translation>(unused)</translation>
    </message>
    <message>
        <source>短停：短于（分钟）</source>
        <translation>Micro-stops: shorter than (minutes)</translation>
    </message>
    <message>
        <source>未填原因标记：停机超过（分钟）</source>
        <translation>Mark untagged stops after (minutes)</translation>
    </message>
    <message>
        <source>代码</source>
        <translation>Code</translation>
    </message>
    <message>
        <source>中文</source>
        <translation>Chinese</translation>
    </message>
    <message>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message>
        <source>计划停机</source>
        <translation>Planned stop</translation>
    </message>
    <message>
        <source>添加原因</source>
        <translation>Add reason</translation>
    </message>
    <message>
        <source>删除原因</source>
        <translation>Remove reason</translation>
    </message>
    <message>
        <source>新原因</source>
        <translation>New reason</translation>
    </message>
    <message>
        <source>班次未保存：%1</source>
        <translation>The shifts were not stored: %1</translation>
    </message>
</context>
<context>
    <name>StopSettings</name>
    <message>
        <source>第 %1 个班次缺少名称或时间。</source>
        <translation>Shift %1 lacks a name or a time.</translation>
    </message>
    <message>
        <source>班次“%1”与“%2”重叠。</source>
        <translation>The shifts “%1” and “%2” overlap.</translation>
    </message>
</context>
<context>
    <name>StopsView</name>
    <message>
        <source>机床</source>
        <translation>Machine</translation>
    </message>
    <message>
        <source>班次</source>
        <translation>Shifts</translation>
    </message>
    <message>
        <source>开机</source>
        <translation>Switched on</translation>
    </message>
    <message>
        <source>运行</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>利用率</source>
        <translation>Utilization</translation>
    </message>
    <message>
        <source>可用率</source>
        <translation>Availability</translation>
    </message>
    <message>
        <source>停机次数</source>
        <translation>Stops</translation>
    </message>
    <message>
        <source>短停</source>
        <translation>Micro-stops</translation>
    </message>
    <message>
        <source>停机时间（按原因）</source>
        <translation>Stop time by reason</translation>
    </message>
    <message>
        <source>未填原因</source>
        <translation>Untagged</translation>
    </message>
    <message>
        <source>原因 %1</source>
        <translation>Reason %1</translation>
    </message>
    <message>
        <source>点击时间轴上的停机（Ctrl 多选），再点原因：</source>
        <translation>Click a stop on the timeline (Ctrl for several), then a reason:</translation>
    </message>
    <message numerus="yes">
        <source>选中 %n 次停机，原因：</source>
        <translation>
            <numerusform>%n stop chosen, reason:</numerusform>
            <numerusform>%n stops chosen, reason:</numerusform>
        </translation>
    </message>
    <message>
        <source>全天</source>
        <translation>Whole day</translation>
    </message>
    <message>
        <source>班外</source>
        <translation>Outside shifts</translation>
    </message>
    <message>
        <source>全车间</source>
        <translation>Whole shop</translation>
    </message>
    <message>
        <source>停机时间</source>
        <translation>Stop time</translation>
    </message>
    <message>
        <source>累计 %</source>
        <translation>Cumulative %</translation>
    </message>
    <message>
        <source>小时</source>
        <translation>Hours</translation>
    </message>
    <message>
        <source>没有停机</source>
        <translation>No stops</translation>
    </message>
</context>
<context>
    <name>UpLoadDialog</name>
    <message>
        <source>编号超出 (0-9999)</source>
        <translation>number out of range (0-9999)</translation>
    </message>
    <message>
        <source>文件名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>传输状态</source>
        <translation>State</translation>
    </message>
    <message>
        <source>提示：确认程序名为OBBBB或BBBB(B为数字),若加密程序在名称后加dst</source>
        <translation>Hint: Confirm that the program name is OBBBB or BBBB(B being a number)</translation>
    </message>
    <message>
        <source>增加剪切板文件</source>
        <translation>AddClipFile</translation>
    </message>
    <message>
        <source>重置传输状态</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>本地选择文件</source>
        <translation>AddLocalFile</translation>
    </message>
    <message>
        <source>确定传输</source>
        <translation>TranFile</translation>
    </message>
    <message>
        <source>成功</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>无法读取</source>
        <translation>unreadable</translation>
    </message>
    <message>
        <source>文件过大</source>
        <translation>too large</translation>
    </message>
    <message>
        <source>程序名称</source>
        <translation>ProgramName</translation>
    </message>
    <message>
        <source>文件名称</source>
        <comment>the root of the lines of files</comment>
        <translation>FileName</translation>
    </message>
    <message>
        <source>选择工程文件</source>
        <translation>选择工程文件</translation>
    </message>
</context>
<context>
    <name>WebBoard</name>
    <message>
        <source>车间看板</source>
        <translation>Shop board</translation>
    </message>
    <message>
        <source>利用率</source>
        <translation>Utilization</translation>
    </message>
    <message>
        <source>连接中断</source>
        <translation>connection lost</translation>
    </message>
    <message>
        <source>按状态</source>
        <translation>By state</translation>
    </message>
    <message>
        <source>按名称</source>
        <translation>By name</translation>
    </message>
    <message>
        <source>排序</source>
        <translation>Order</translation>
    </message>
    <message>
        <source>停机原因</source>
        <translation>Stop reason</translation>
    </message>
    <message>
        <source>今日状态</source>
        <translation>Today</translation>
    </message>
    <message>
        <source>最近的写入和删除</source>
        <translation>Last writes and deletes</translation>
    </message>
    <message>
        <source>本次运行以来没有写入或删除</source>
        <translation>No writes or deletes since the board started</translation>
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
        <source>对象</source>
        <translation>Target</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>字节</source>
        <translation>Bytes</translation>
    </message>
    <message>
        <source>成功</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>failed</translation>
    </message>
    <message>
        <source>写入程序</source>
        <translation>write program</translation>
    </message>
    <message>
        <source>写入文件</source>
        <translation>write file</translation>
    </message>
    <message>
        <source>删除程序</source>
        <translation>delete program</translation>
    </message>
    <message>
        <source>返回看板</source>
        <translation>Back to the board</translation>
    </message>
    <message>
        <source>没有这台机床</source>
        <translation>No such machine</translation>
    </message>
</context>
<context>
    <name>WebService</name>
    <message>
        <source>无法打开</source>
        <translation>could not be opened</translation>
    </message>
    <message>
        <source>不是普通文件</source>
        <translation>is not a plain file</translation>
    </message>
    <message>
        <source>不属于当前用户</source>
        <translation>does not belong to this user</translation>
    </message>
    <message>
        <source>其他用户可读（应为 chmod 600）</source>
        <translation>can be read by others (should be chmod 600)</translation>
    </message>
    <message>
        <source>过大</source>
        <translation>is too large</translation>
    </message>
    <message>
        <source>令牌文件 %1 %2，看板未开启</source>
        <translation>The token file %1 %2: the board is not served</translation>
    </message>
    <message>
        <source>令牌文件 %1 是空的，看板未开启</source>
        <translation>The token file %1 is empty: the board is not served</translation>
    </message>
    <message>
        <source>监听地址 %1 无效</source>
        <translation>The listen address %1 is not valid</translation>
    </message>
    <message>
        <source>无法在 %1:%2 监听（%3）</source>
        <translation>Cannot listen on %1:%2 (%3)</translation>
    </message>
    <message>
        <source>未启用</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>看板在 http://%1:%2/</source>
        <translation>The board is at http://%1:%2/</translation>
    </message>
    <message>
        <source>，需要令牌</source>
        <translation>, token required</translation>
    </message>
    <message>
        <source>，已连接代理</source>
        <translation>, broker connected</translation>
    </message>
    <message>
        <source>，正在连接代理…</source>
        <translation>, connecting to the broker…</translation>
    </message>
</context>
<context>
    <name>WebSetBox</name>
    <message>
        <source>车间看板</source>
        <translation>Shop board</translation>
    </message>
    <message>
        <source>在浏览器中提供车间看板（只读）</source>
        <translation>Serve the shop board to browsers (read-only)</translation>
    </message>
    <message>
        <source>127.0.0.1 只供本机；0.0.0.0 供车间网络中的所有电脑</source>
        <translation>127.0.0.1: this PC only; 0.0.0.0: every PC of the shop network</translation>
    </message>
    <message>
        <source>本程序的设备</source>
        <translation>This program's devices</translation>
    </message>
    <message>
        <source>MQTT 代理上所有采集端的设备</source>
        <translation>Every collector's devices on the MQTT broker</translation>
    </message>
    <message>
        <source>可选：只有本用户可读的令牌文件</source>
        <translation>Optional: a token file only this user can read</translation>
    </message>
    <message>
        <source>监听地址</source>
        <translation>Listen address</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>显示</source>
        <translation>Show</translation>
    </message>
    <message>
        <source>令牌文件</source>
        <translation>Token file</translation>
    </message>
    <message>
        <source>监听地址应为 IP 地址（如 127.0.0.1 或 0.0.0.0）。看板设置未保存</source>
        <translation>The listen address must be an IP address (such as 127.0.0.1 or 0.0.0.0). The board settings were not stored</translation>
    </message>
</context>
<context>
    <name>deviceSettings</name>
    <message>
        <source>类型</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>型号</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Addr</translation>
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
    <message>
        <source>历史记录</source>
        <translation>History</translation>
    </message>
    <message>
        <source>设备</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>停机原因</source>
        <translation>Stop reason</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>无窗口运行：打开 Configure.xml 的全部设备，轮询、记录历史并发布到消息服务器，直到收到 SIGTERM/SIGINT。</source>
        <translation>Run without a window: switch every device of Configure.xml on, poll them, record their history and publish to the broker until SIGTERM/SIGINT.</translation>
    </message>
    <message>
        <source>以 CSV 输出记录的状态时段 (device,state,start,end,seconds,program)，可加 --since YYYY-MM-DD 和 --device NAME。</source>
        <translation>Print the recorded state periods as CSV (device,state,start,end,seconds,program); add --since YYYY-MM-DD and --device NAME to narrow them.</translation>
    </message>
</context>
</TS>
