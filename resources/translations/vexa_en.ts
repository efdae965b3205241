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
        <source>失败 (%1)</source>
        <translation>failed (%1)</translation>
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
</context>
<context>
    <name>UpLoadDialog</name>
    <message>
        <source>编号超出 (0-9999)</source>
        <translation>number out of range (0-9999)</translation>
    </message>
</context>
<context>
    <name>deviceWidget</name>
    <message>
        <source>历史记录</source>
        <translation>History</translation>
    </message>
</context>
</TS>
