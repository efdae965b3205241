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
</context>
</TS>
