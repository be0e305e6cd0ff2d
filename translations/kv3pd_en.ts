<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CalibrationWizard</name>
    <message>
        <source>校准向导</source>
        <translation>Calibration wizard</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Setup</translation>
    </message>
    <message>
        <source>点</source>
        <translation>Point</translation>
    </message>
    <message>
        <source>标称值</source>
        <translation>Nominal</translation>
    </message>
    <message>
        <source>调整前
参考值</source>
        <translation>As found
reference</translation>
    </message>
    <message>
        <source>调整前
读数</source>
        <translation>As found
reading</translation>
    </message>
    <message>
        <source>调整前
误差
值 (%量程)</source>
        <translation>As found
error
value (% of span)</translation>
    </message>
    <message>
        <source>调整前
结论</source>
        <translation>As found
verdict</translation>
    </message>
    <message>
        <source>调整
参考值</source>
        <translation>Adjust
reference</translation>
    </message>
    <message>
        <source>调整
ADC均值</source>
        <translation>Adjust
mean ADC</translation>
    </message>
    <message>
        <source>调整后
参考值</source>
        <translation>As left
reference</translation>
    </message>
    <message>
        <source>调整后
读数</source>
        <translation>As left
reading</translation>
    </message>
    <message>
        <source>调整后
误差
值 (%量程)</source>
        <translation>As left
error
value (% of span)</translation>
    </message>
    <message>
        <source>调整后
结论</source>
        <translation>As left
verdict</translation>
    </message>
    <message>
        <source>参考标准器的示值；记录本点之前可以修改</source>
        <translation>What the reference standard shows; correct it before the point is taken</translation>
    </message>
    <message>
        <source>调整前检查</source>
        <translation>As found</translation>
    </message>
    <message>
        <source>开始新的校准：逐点检查仪表调整前的误差</source>
        <translation>Start a new calibration: check the meter&apos;s errors point by point before adjusting it</translation>
    </message>
    <message>
        <source>立即记录</source>
        <translation>Record now</translation>
    </message>
    <message>
        <source>不等读数稳定，立即记录本点（标记为手动）</source>
        <translation>Record this point now, without waiting for the reading to settle (marked manual)</translation>
    </message>
    <message>
        <source>调整</source>
        <translation>Adjust</translation>
    </message>
    <message>
        <source>逐点采集ADC，然后写入多点校准数据并工厂保存</source>
        <translation>Capture the ADC at each point, then write the multi-point calibration and save to factory</translation>
    </message>
    <message>
        <source>调整后检查</source>
        <translation>As left</translation>
    </message>
    <message>
        <source>用新的校准数据逐点检查误差</source>
        <translation>Check the errors point by point with the new calibration</translation>
    </message>
    <message>
        <source>结束校准</source>
        <translation>End calibration</translation>
    </message>
    <message>
        <source>结束本次校准；已记录的点都已保存</source>
        <translation>End this calibration; every point taken is already kept</translation>
    </message>
    <message>
        <source>参考值</source>
        <translation>Reference</translation>
    </message>
    <message>
        <source>稳定</source>
        <translation>Settled</translation>
    </message>
    <message>
        <source>尚无读数或参考值无效，未记录</source>
        <translation>No reading yet or the reference is not a number: nothing recorded</translation>
    </message>
    <message>
        <source>校准已结束</source>
        <translation>Calibration ended</translation>
    </message>
    <message>
        <source>校准已中止：检测到另一台仪表 %1</source>
        <translation>Calibration aborted: another meter detected, %1</translation>
    </message>
    <message>
        <source>另一台仪表（%1）应答，校准已中止。已记录的点都已保存。</source>
        <translation>Another meter (%1) answered, so the calibration was aborted. Every point taken is kept.</translation>
    </message>
    <message>
        <source>校准记录无法写入，校准已停止</source>
        <translation>The calibration records cannot be written; the calibration stopped</translation>
    </message>
    <message>
        <source>校准记录无法写入：%1
%2</source>
        <translation>The calibration records cannot be written: %1
%2</translation>
    </message>
    <message>
        <source>扩展不确定度，k = 2，单位与量程相同</source>
        <translation>Expanded uncertainty, k = 2, in the unit of the range</translation>
    </message>
    <message>
        <source>例如 23 ℃，45 %RH</source>
        <translation>e.g. 23 ℃, 45 %RH</translation>
    </message>
    <message>
        <source>通道</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>允差 (%量程)</source>
        <translation>Tolerance (% of span)</translation>
    </message>
    <message>
        <source>稳定窗口 (s)</source>
        <translation>Settling window (s)</translation>
    </message>
    <message>
        <source>稳定带 (%量程)</source>
        <translation>Settling band (% of span)</translation>
    </message>
    <message>
        <source>标准器</source>
        <translation>Reference standard</translation>
    </message>
    <message>
        <source>标准器编号</source>
        <translation>Serial number</translation>
    </message>
    <message>
        <source>标准器证书</source>
        <translation>Its certificate</translation>
    </message>
    <message>
        <source>扩展不确定度 (k=2)</source>
        <translation>Uncertainty (k=2)</translation>
    </message>
    <message>
        <source>校准员</source>
        <translation>Technician</translation>
    </message>
    <message>
        <source>环境条件</source>
        <translation>Ambient conditions</translation>
    </message>
    <message>
        <source>窗口已关闭，校准已结束</source>
        <translation>Window closed; the calibration ended</translation>
    </message>
    <message>
        <source>读数的单位 %1 无法换算为量程单位，请检查用户设置</source>
        <translation>The reading&apos;s unit %1 cannot be converted into the range&apos;s unit; check the user settings</translation>
    </message>
    <message>
        <source>压力</source>
        <translation>Pressure</translation>
    </message>
    <message>
        <source>温度</source>
        <translation>Temperature</translation>
    </message>
    <message>
        <source>校准页的量程、点数或单位无效</source>
        <translation>The calibration page&apos;s range, points or units are not valid</translation>
    </message>
    <message>
        <source>量程无效：请在多点校准页填写量程，上限须大于下限</source>
        <translation>Invalid range: fill in the range on the multi-point calibration page, the high end above the low end</translation>
    </message>
    <message>
        <source>校准点数无效：须为2到5点</source>
        <translation>Invalid number of points: 2 to 5</translation>
    </message>
    <message>
        <source>量程单位无法换算为标准值单位，请检查单位设置！</source>
        <translation>The range unit cannot be converted into the standard unit. Check the unit settings.</translation>
    </message>
    <message>
        <source>允差</source>
        <translation>Tolerance</translation>
    </message>
    <message>
        <source>稳定窗口</source>
        <translation>Settling window</translation>
    </message>
    <message>
        <source>稳定带</source>
        <translation>Settling band</translation>
    </message>
    <message>
        <source>%1无效：须为大于0、不超过%2的数</source>
        <translation>%1 is not valid: a number above 0 and at most %2</translation>
    </message>
    <message>
        <source>扩展不确定度无效：须为不小于0的数，或留空</source>
        <translation>The uncertainty is not valid: a number of 0 or more, or nothing</translation>
    </message>
    <message>
        <source>仪表未连接或仪表编号尚未确认，校准未开始</source>
        <translation>The meter is not connected or its number is not confirmed yet; the calibration did not start</translation>
    </message>
    <message>
        <source>校准记录文件无法打开或写入，校准未开始：%1
%2</source>
        <translation>The calibration records cannot be opened or written, so the calibration did not start: %1
%2</translation>
    </message>
    <message>
        <source>多点校准页的量程或单位在校准过程中被修改，校准数据未写入</source>
        <translation>The range or the units on the multi-point calibration page changed during the calibration; the calibration was not written</translation>
    </message>
    <message>
        <source>校准数据未写入：原因见主窗口的状态栏</source>
        <translation>The calibration was not written: the main window&apos;s status line says why</translation>
    </message>
    <message>
        <source>调整前检查完成</source>
        <translation>As found finished</translation>
    </message>
    <message>
        <source>校准数据已写入并保存，请进行调整后检查</source>
        <translation>Calibration written and saved; now check as left</translation>
    </message>
    <message>
        <source>校准数据写入失败，可重新调整</source>
        <translation>Writing the calibration failed; adjust again</translation>
    </message>
    <message>
        <source>调整后检查完成</source>
        <translation>As left finished</translation>
    </message>
    <message>
        <source>请施加 %1 %2</source>
        <translation>Apply %1 %2</translation>
    </message>
    <message>
        <source>仪表未连接，等待恢复</source>
        <translation>Meter not connected, waiting for it</translation>
    </message>
    <message>
        <source>正在写入校准数据并工厂保存…</source>
        <translation>Writing the calibration and saving to factory…</translation>
    </message>
    <message>
        <source>选择通道，然后开始调整前检查</source>
        <translation>Choose the channel, then start as found</translation>
    </message>
    <message>
        <source>调整后结论：</source>
        <translation>As left:</translation>
    </message>
    <message>
        <source>调整前结论：</source>
        <translation>As found:</translation>
    </message>
    <message>
        <source>合格</source>
        <translation>Pass</translation>
    </message>
    <message>
        <source>不合格</source>
        <translation>Fail</translation>
    </message>
    <message>
        <source>仪表 %1    证书编号 %2</source>
        <translation>Meter %1    Certificate %2</translation>
    </message>
    <message>
        <source>读数已稳定，但更接近另一点：请施加本点的值，或按“立即记录”</source>
        <translation>The reading has settled, but nearer another point: apply this point&apos;s value, or press Record now</translation>
    </message>
    <message>
        <source>等待读数…</source>
        <translation>Waiting for readings…</translation>
    </message>
    <message>
        <source>平均值 %1 %6    标准差 %2    峰峰值 %3    斜率 %4 %6/s    样本数 %5</source>
        <translation>Mean %1 %6    Std. dev. %2    Peak-to-peak %3    Slope %4 %6/s    Samples %5</translation>
    </message>
    <message>
        <source>标称值
(%1)</source>
        <translation>Nominal
(%1)</translation>
    </message>
    <message>
        <source> (手动)</source>
        <translation> (manual)</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>参考值不是数字：本点不会记录</source>
        <translation>The reference is not a number: this point is not recorded</translation>
    </message>
    <message>
        <source>证书</source>
        <translation>Certificate</translation>
    </message>
    <message>
        <source>本次校准的证书</source>
        <translation>Certificate of this calibration</translation>
    </message>
    <message>
        <source>把本次校准写成 PDF 证书（调整前或调整后检查完成之后）</source>
        <translation>Write this calibration as a PDF certificate (once as found or as left is finished)</translation>
    </message>
    <message>
        <source>所选校准的证书</source>
        <translation>Certificate of the selected calibration</translation>
    </message>
    <message>
        <source>重新生成所选的以前校准的证书</source>
        <translation>Render the certificate of the selected earlier calibration again</translation>
    </message>
    <message>
        <source>证书编号</source>
        <translation>Certificate</translation>
    </message>
    <message>
        <source>开始时间</source>
        <translation>Started</translation>
    </message>
    <message>
        <source>调整前</source>
        <translation>As found</translation>
    </message>
    <message>
        <source>调整后</source>
        <translation>As left</translation>
    </message>
    <message>
        <source>当前仪表以前的校准；双击重新生成证书</source>
        <translation>Earlier calibrations of this meter; double-click to render the certificate again</translation>
    </message>
    <message>
        <source>颁发机构</source>
        <translation>Issued by</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>已调整</source>
        <translation>Adjusted</translation>
    </message>
    <message>
        <source>未写入</source>
        <translation>Not written</translation>
    </message>
    <message>
        <source>校准记录无法读取：%1
%2</source>
        <translation>The calibration records cannot be read: %1
%2</translation>
    </message>
    <message>
        <source>保存证书</source>
        <translation>Save certificate</translation>
    </message>
    <message>
        <source>PDF 文件 (*.pdf)</source>
        <translation>PDF files (*.pdf)</translation>
    </message>
    <message>
        <source>颁发机构未能保存：%1</source>
        <translation>The issuing organisation was not saved: %1</translation>
    </message>
    <message>
        <source>证书未写入：%1</source>
        <translation>Certificate not written: %1</translation>
    </message>
    <message>
        <source>证书已写入：%1</source>
        <translation>Certificate written: %1</translation>
    </message>
</context>
<context>
    <name>Certificate</name>
    <message>
        <source>校准证书</source>
        <translation>Calibration certificate</translation>
    </message>
    <message>
        <source>合格</source>
        <translation>Pass</translation>
    </message>
    <message>
        <source>不合格</source>
        <translation>Fail</translation>
    </message>
    <message>
        <source>调整前</source>
        <translation>As found</translation>
    </message>
    <message>
        <source>调整后</source>
        <translation>As left</translation>
    </message>
    <message>
        <source>1 校准对象</source>
        <translation>1 Item calibrated</translation>
    </message>
    <message>
        <source>压力</source>
        <translation>Pressure</translation>
    </message>
    <message>
        <source>温度</source>
        <translation>Temperature</translation>
    </message>
    <message>
        <source>压力和温度</source>
        <translation>Pressure and temperature</translation>
    </message>
    <message>
        <source>仪表型号</source>
        <translation>Board</translation>
    </message>
    <message>
        <source>仪表编号</source>
        <translation>Meter number</translation>
    </message>
    <message>
        <source>仪表类型</source>
        <translation>Meter type</translation>
    </message>
    <message>
        <source>校准通道</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>量程</source>
        <translation>Range</translation>
    </message>
    <message>
        <source>固件版本</source>
        <translation>Firmware version</translation>
    </message>
    <message>
        <source>显示分辨力</source>
        <translation>Display resolution</translation>
    </message>
    <message>
        <source>2 参考标准</source>
        <translation>2 Reference standard</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>出厂编号</source>
        <translation>Serial number</translation>
    </message>
    <message>
        <source>溯源证书</source>
        <translation>Its certificate</translation>
    </message>
    <message>
        <source>扩展不确定度 U (k = 2)</source>
        <translation>Expanded uncertainty U (k = 2)</translation>
    </message>
    <message>
        <source>3 校准方法</source>
        <translation>3 Method</translation>
    </message>
    <message>
        <source>%1 s 窗口内读数的峰峰值不超过 %2 % 量程 (%3)，且最小二乘斜率在窗口内引起的变化小于其一半时视为稳定；记录窗口内读数的平均值</source>
        <translation>Settled when, over a window of %1 s, the peak-to-peak of the readings stays within %2 % of span (%3) and the least-squares slope moves the reading by less than half of that; the mean of the window is recorded</translation>
    </message>
    <message>
        <source>校准点</source>
        <translation>Points</translation>
    </message>
    <message>
        <source>稳定判据</source>
        <translation>Settling</translation>
    </message>
    <message>
        <source>允差</source>
        <translation>Tolerance</translation>
    </message>
    <message>
        <source>±%1 % 量程 (±%2)</source>
        <translation>±%1 % of span (±%2)</translation>
    </message>
    <message>
        <source>每点读数</source>
        <translation>Samples per point</translation>
    </message>
    <message>
        <source>%1 至 %2</source>
        <translation>%1 to %2</translation>
    </message>
    <message>
        <source>4 环境条件与日期</source>
        <translation>4 Conditions and dates</translation>
    </message>
    <message>
        <source>环境条件</source>
        <translation>Ambient conditions</translation>
    </message>
    <message>
        <source>校准日期</source>
        <translation>Date of calibration</translation>
    </message>
    <message>
        <source>签发日期</source>
        <translation>Date of issue</translation>
    </message>
    <message>
        <source>校准员</source>
        <translation>Calibrated by</translation>
    </message>
    <message>
        <source>5 校准结果</source>
        <translation>5 Results</translation>
    </message>
    <message>
        <source>调整前 (来样状态)</source>
        <translation>As found (as received)</translation>
    </message>
    <message>
        <source>调整：已调整，仪表的多点校准已按 %1 个调整点重新写入。</source>
        <translation>Adjustment: adjusted; the instrument&apos;s multi-point calibration was written anew from %1 adjustment points.</translation>
    </message>
    <message>
        <source>调整：未调整，调整结果未写入仪表。</source>
        <translation>Adjustment: not adjusted; the adjustment was not written to the instrument.</translation>
    </message>
    <message>
        <source>调整：未调整。</source>
        <translation>Adjustment: not adjusted.</translation>
    </message>
    <message>
        <source>6 测量不确定度</source>
        <translation>6 Measurement uncertainty</translation>
    </message>
    <message>
        <source>每个结果的扩展不确定度 U 由三个分量按 EA-4/02 合成：参考标准所述扩展不确定度的一半；记录窗口平均值的标准偏差 s/√n；显示分辨力末位的一半，按矩形分布除以 √3。合成标准不确定度 u_c 为三者的方和根，U = k·u_c，k = 2，包含概率约为 95 %。U 向上修约为两位有效数字。</source>
        <translation>The expanded uncertainty U of each result combines three parts as in EA-4/02: half the reference standard&apos;s stated expanded uncertainty; the standard deviation of the mean of the recorded window, s/√n; half a digit of the display resolution, rectangular, divided by √3. The combined standard uncertainty u_c is their root sum of squares; U = k·u_c with k = 2, for a coverage probability of about 95 %. U is rounded up to two significant digits.</translation>
    </message>
    <message>
        <source>7 判定规则与声明</source>
        <translation>7 Decision rule and statements</translation>
    </message>
    <message>
        <source>判定规则：简单接受。误差的绝对值不大于允差时该点合格 (|误差| ≤ 允差)，各点均合格时结论为合格；扩展不确定度 U 予以陈述，不从允差中扣除。</source>
        <translation>Decision rule: simple acceptance. A point passes when its error is within the tolerance (|error| ≤ tolerance), and the item passes when every point passes; the expanded uncertainty U is stated, not subtracted from the tolerance.</translation>
    </message>
    <message>
        <source>本证书的校准结果仅与被校准的对象有关。</source>
        <translation>The results relate only to the item calibrated.</translation>
    </message>
    <message>
        <source>未经签发机构书面批准，不得部分复制本证书。</source>
        <translation>This certificate shall not be reproduced except in full without the written approval of the issuing organisation.</translation>
    </message>
    <message>
        <source>(未设置签发机构)</source>
        <translation>(issuing organisation not set)</translation>
    </message>
    <message>
        <source>证书编号：%1</source>
        <translation>Certificate number: %1</translation>
    </message>
    <message>
        <source>未进行</source>
        <translation>Not performed</translation>
    </message>
    <message>
        <source>结论：未完成</source>
        <translation>Verdict: not complete</translation>
    </message>
    <message>
        <source>结论：%1</source>
        <translation>Verdict: %1</translation>
    </message>
    <message>
        <source>序号</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>标称值</source>
        <translation>Nominal</translation>
    </message>
    <message>
        <source>参考值</source>
        <translation>Reference</translation>
    </message>
    <message>
        <source>示值</source>
        <translation>Reading</translation>
    </message>
    <message>
        <source>误差</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>误差
(% 量程)</source>
        <translation>Error
(% of span)</translation>
    </message>
    <message>
        <source>结论</source>
        <translation>Verdict</translation>
    </message>
    <message>
        <source>* 读数未达到稳定判据时由校准员手动记录。</source>
        <translation>* Taken by hand before the reading had settled.</translation>
    </message>
    <message>
        <source>阶段</source>
        <translation>Phase</translation>
    </message>
    <message>
        <source>u(标准)</source>
        <translation>u(standard)</translation>
    </message>
    <message>
        <source>u(平均值)</source>
        <translation>u(mean)</translation>
    </message>
    <message>
        <source>u(分辨力)</source>
        <translation>u(resolution)</translation>
    </message>
    <message>
        <source>图 1  误差与标称值。误差线：U (k = 2)；灰色带：允差。</source>
        <translation>Figure 1: error against nominal value. Bars: U (k = 2); grey band: tolerance.</translation>
    </message>
    <message>
        <source>标称值 (%1)</source>
        <translation>Nominal (%1)</translation>
    </message>
    <message>
        <source>误差 (%1)</source>
        <translation>Error (%1)</translation>
    </message>
    <message>
        <source>核验员</source>
        <translation>Checked by</translation>
    </message>
    <message>
        <source>批准人</source>
        <translation>Approved by</translation>
    </message>
    <message>
        <source>日期</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>—— 证书结束 ——</source>
        <translation>—— End of certificate ——</translation>
    </message>
    <message>
        <source>第 %1 页 共 %2 页</source>
        <translation>Page %1 of %2</translation>
    </message>
</context>
<context>
    <name>CodeTables</name>
    <message>
        <source>未知(%1)</source>
        <translation>unknown (%1)</translation>
    </message>
</context>
<context>
    <name>CompareWindow</name>
    <message>
        <source>对比备份数据</source>
        <translation>Compare with a backup</translation>
    </message>
    <message>
        <source>只显示不同</source>
        <translation>Differences only</translation>
    </message>
    <message>
        <source>打开文件</source>
        <translation>Open files</translation>
    </message>
    <message>
        <source>导出CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>写入所选</source>
        <translation>Write selected</translation>
    </message>
    <message>
        <source>qvdbk文件(*.qvdbk)</source>
        <translation>Backup files (*.qvdbk)</translation>
    </message>
    <message>
        <source>选择第一个备份文件</source>
        <translation>Choose the first backup file</translation>
    </message>
    <message>
        <source>选择备份文件</source>
        <translation>Choose a backup file</translation>
    </message>
    <message>
        <source>选择第二个备份文件</source>
        <translation>Choose the second backup file</translation>
    </message>
    <message>
        <source>CSV文件(*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>无法打开文件 %1：%2</source>
        <translation>Cannot open %1: %2</translation>
    </message>
    <message>
        <source>文件已损坏或不是备份文件：%1</source>
        <translation>Damaged or not a backup file: %1</translation>
    </message>
    <message>
        <source>仪表未连接</source>
        <translation>Meter not connected</translation>
    </message>
    <message>
        <source>正在读取仪表数据……</source>
        <translation>Reading the meter...</translation>
    </message>
    <message>
        <source>与仪表的连接已中断：已写入并保存 %1 个数据块，未重新比较</source>
        <translation>The link to the meter ended: %1 blocks written and saved, not compared again</translation>
    </message>
    <message>
        <source>与仪表的连接已中断</source>
        <translation>The link to the meter ended</translation>
    </message>
    <message>
        <source>；重新读取仪表数据失败</source>
        <translation>; reading the meter again failed</translation>
    </message>
    <message>
        <source>读取仪表数据失败</source>
        <translation>Reading the meter failed</translation>
    </message>
    <message>
        <source>写入失败</source>
        <translation>Writing failed</translation>
    </message>
    <message>
        <source>保存失败</source>
        <translation>Saving failed</translation>
    </message>
    <message>
        <source>共 %1 个字段，全部相同</source>
        <translation>%1 fields, all the same</translation>
    </message>
    <message>
        <source>共 %1 个字段，%2 个不同</source>
        <translation>%1 fields, %2 different</translation>
    </message>
    <message>
        <source>；所选字段中仍有 %1 个不同</source>
        <translation>; %1 of the selected fields still differ</translation>
    </message>
    <message>
        <source>已写入并保存 %1 个字段</source>
        <translation>%1 fields written and saved</translation>
    </message>
    <message>
        <source>相同</source>
        <translation>Same</translation>
    </message>
    <message>
        <source>不同</source>
        <translation>Different</translation>
    </message>
    <message>
        <source>仪表</source>
        <translation>Meter</translation>
    </message>
    <message>
        <source>字段</source>
        <translation>Field</translation>
    </message>
    <message>
        <source>寄存器</source>
        <translation>Registers</translation>
    </message>
    <message>
        <source>A：%1</source>
        <translation>A: %1</translation>
    </message>
    <message>
        <source>B：%1</source>
        <translation>B: %1</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>State</translation>
    </message>
    <message>
        <source>A：%1（仪表编号 %2）    B：%3（仪表编号 %4）</source>
        <translation>A: %1 (meter %2)    B: %3 (meter %4)</translation>
    </message>
    <message>
        <source>另一台仪表的标识和校准数据不能写入</source>
        <translation>Another meter&apos;s identity and calibration cannot be written</translation>
    </message>
    <message>
        <source>仪表编号与文件不同，其标识和校准数据不能写入；请重新选择</source>
        <translation>The meter number differs from the file&apos;s: its identity and calibration cannot be written. Choose again</translation>
    </message>
    <message>
        <source>正在写入……</source>
        <translation>Writing...</translation>
    </message>
    <message>
        <source>主窗口的写入尚未完成，请稍后再试</source>
        <translation>A write of the main window is still running; try again shortly</translation>
    </message>
    <message>
        <source>%1（此前已写入并保存 %2 个数据块）</source>
        <translation>%1 (%2 blocks written and saved before)</translation>
    </message>
    <message>
        <source>页面</source>
        <translation>Page</translation>
    </message>
    <message>
        <source>已导出 %1 行到 %2</source>
        <translation>%1 rows exported to %2</translation>
    </message>
    <message>
        <source>导出失败 %1：%2</source>
        <translation>Export failed %1: %2</translation>
    </message>
</context>
<context>
    <name>Dialog_Warning</name>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>无法写入文件“%1”：%2</source>
        <translation>Cannot write the file “%1”: %2</translation>
    </message>
</context>
<context>
    <name>FieldTable</name>
    <message>
        <source>压力量程下限</source>
        <translation>Pressure range low</translation>
    </message>
    <message>
        <source>压力量程上限</source>
        <translation>Pressure range high</translation>
    </message>
    <message>
        <source>压力量程单位</source>
        <translation>Pressure range unit</translation>
    </message>
    <message>
        <source>压力ADC增益</source>
        <translation>Pressure ADC gain</translation>
    </message>
    <message>
        <source>压力标准值单位</source>
        <translation>Pressure standard unit</translation>
    </message>
    <message>
        <source>压力采集值%1</source>
        <translation>Pressure captured %1</translation>
    </message>
    <message>
        <source>压力标准值%1</source>
        <translation>Pressure standard %1</translation>
    </message>
    <message>
        <source>压力校准点数</source>
        <translation>Pressure points</translation>
    </message>
    <message>
        <source>压力系数a%1</source>
        <translation>Pressure coefficient a%1</translation>
    </message>
    <message>
        <source>压力二次校准采集值%1</source>
        <translation>Pressure secondary captured %1</translation>
    </message>
    <message>
        <source>压力二次校准标准值%1</source>
        <translation>Pressure secondary standard %1</translation>
    </message>
    <message>
        <source>压力二次校准偏移</source>
        <translation>Pressure secondary offset</translation>
    </message>
    <message>
        <source>压力二次校准增益</source>
        <translation>Pressure secondary gain</translation>
    </message>
    <message>
        <source>压力零点</source>
        <translation>Pressure zero</translation>
    </message>
    <message>
        <source>温度量程下限</source>
        <translation>Temp. range low</translation>
    </message>
    <message>
        <source>温度量程上限</source>
        <translation>Temp. range high</translation>
    </message>
    <message>
        <source>温度量程单位</source>
        <translation>Temp. range unit</translation>
    </message>
    <message>
        <source>温度ADC增益</source>
        <translation>Temp. ADC gain</translation>
    </message>
    <message>
        <source>温度标准值单位</source>
        <translation>Temp. standard unit</translation>
    </message>
    <message>
        <source>温度采集值%1</source>
        <translation>Temp. captured %1</translation>
    </message>
    <message>
        <source>温度标准值%1</source>
        <translation>Temp. standard %1</translation>
    </message>
    <message>
        <source>温度校准点数</source>
        <translation>Temp. points</translation>
    </message>
    <message>
        <source>温度系数a%1</source>
        <translation>Temp. coefficient a%1</translation>
    </message>
    <message>
        <source>温度二次校准采集值%1</source>
        <translation>Temp. secondary captured %1</translation>
    </message>
    <message>
        <source>温度二次校准标准值%1</source>
        <translation>Temp. secondary standard %1</translation>
    </message>
    <message>
        <source>温度二次校准偏移</source>
        <translation>Temp. secondary offset</translation>
    </message>
    <message>
        <source>温度二次校准增益</source>
        <translation>Temp. secondary gain</translation>
    </message>
    <message>
        <source>温度零点</source>
        <translation>Temp. zero</translation>
    </message>
    <message>
        <source>保留寄存器</source>
        <translation>Reserved registers</translation>
    </message>
    <message>
        <source>零点屏蔽</source>
        <translation>Zero cut-off</translation>
    </message>
    <message>
        <source>特征码</source>
        <translation>Feature code</translation>
    </message>
    <message>
        <source>软件版本</source>
        <translation>Firmware version</translation>
    </message>
    <message>
        <source>压力浮点型</source>
        <translation>Pressure</translation>
    </message>
    <message>
        <source>温度浮点型</source>
        <translation>Temperature</translation>
    </message>
    <message>
        <source>压力整型</source>
        <translation>Pressure integer</translation>
    </message>
    <message>
        <source>温度整型</source>
        <translation>Temp. integer</translation>
    </message>
    <message>
        <source>电池电压</source>
        <translation>Battery voltage</translation>
    </message>
    <message>
        <source>电池电量</source>
        <translation>Battery charge</translation>
    </message>
    <message>
        <source>压力ADC值</source>
        <translation>Pressure ADC</translation>
    </message>
    <message>
        <source>压力二次校准输入</source>
        <translation>Pressure secondary input</translation>
    </message>
    <message>
        <source>压力清零输入</source>
        <translation>Pressure zero input</translation>
    </message>
    <message>
        <source>温度ADC值</source>
        <translation>Temp. ADC</translation>
    </message>
    <message>
        <source>温度二次校准输入</source>
        <translation>Temp. secondary input</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>波特率</source>
        <translation>Baud rate</translation>
    </message>
    <message>
        <source>校验位</source>
        <translation>Parity</translation>
    </message>
    <message>
        <source>压力小数点</source>
        <translation>Pressure decimals</translation>
    </message>
    <message>
        <source>压力单位</source>
        <translation>Pressure unit</translation>
    </message>
    <message>
        <source>温度小数点</source>
        <translation>Temp. decimals</translation>
    </message>
    <message>
        <source>温度单位</source>
        <translation>Temp. unit</translation>
    </message>
    <message>
        <source>采集周期</source>
        <translation>Sample period</translation>
    </message>
    <message>
        <source>背光时间</source>
        <translation>Backlight</translation>
    </message>
    <message>
        <source>显示切换时间</source>
        <translation>Display switch time</translation>
    </message>
    <message>
        <source>ADC 速率</source>
        <translation>ADC rate</translation>
    </message>
    <message>
        <source>压力增益值</source>
        <translation>Pressure gain</translation>
    </message>
    <message>
        <source>压力偏移值</source>
        <translation>Pressure offset</translation>
    </message>
    <message>
        <source>密度</source>
        <translation>Density</translation>
    </message>
    <message>
        <source>重力加速度</source>
        <translation>Gravity</translation>
    </message>
    <message>
        <source>仪表编号</source>
        <translation>Meter number</translation>
    </message>
    <message>
        <source>仪表类型</source>
        <translation>Meter type</translation>
    </message>
    <message>
        <source>第%1行参数名</source>
        <translation>Row %1 parameter</translation>
    </message>
    <message>
        <source>第%1行地址</source>
        <translation>Row %1 address</translation>
    </message>
    <message>
        <source>第%1行自定义数据</source>
        <translation>Row %1 custom value</translation>
    </message>
    <message>
        <source>起始地址</source>
        <translation>Start address</translation>
    </message>
    <message>
        <source>数据</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>测量输出</source>
        <translation>Measurements</translation>
    </message>
    <message>
        <source>用户设置</source>
        <translation>User settings</translation>
    </message>
    <message>
        <source>仪表参数设置</source>
        <translation>Meter parameters</translation>
    </message>
    <message>
        <source>压力校准</source>
        <translation>Pressure calibration</translation>
    </message>
    <message>
        <source>温度校准</source>
        <translation>Temperature calibration</translation>
    </message>
    <message>
        <source>寄存器组态</source>
        <translation>Register configuration</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>KV-3PD工厂调试软件V0.5</source>
        <translation>KV-3PD Factory Configuration Tool V0.5</translation>
    </message>
    <message>
        <source>端口设置</source>
        <translation>Port settings</translation>
    </message>
    <message>
        <source>端口号：</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>查找端口</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>波特率：</source>
        <translation>Baud:</translation>
    </message>
    <message>
        <source>校验位：</source>
        <translation>Parity:</translation>
    </message>
    <message>
        <source>搜索</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>地  址：</source>
        <translation>Addr.:</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>仪表信息</source>
        <translation>Meter information</translation>
    </message>
    <message>
        <source>板卡型号：</source>
        <translation>Board model:</translation>
    </message>
    <message>
        <source>仪表编号：</source>
        <translation>Meter number:</translation>
    </message>
    <message>
        <source>仪表类型：</source>
        <translation>Meter type:</translation>
    </message>
    <message>
        <source>仪表量程：</source>
        <translation>Meter range:</translation>
    </message>
    <message>
        <source>软件版本：</source>
        <translation>Firmware version:</translation>
    </message>
    <message>
        <source>读取</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>测量输出</source>
        <translation>Measurements</translation>
    </message>
    <message>
        <source>压力浮点型：</source>
        <translation>Pressure:</translation>
    </message>
    <message>
        <source>温度浮点型：</source>
        <translation>Temp.:</translation>
    </message>
    <message>
        <source>压力整型：</source>
        <translation>P integer:</translation>
    </message>
    <message>
        <source>温度整型：</source>
        <translation>T integer:</translation>
    </message>
    <message>
        <source>电池电压：</source>
        <translation>Battery:</translation>
    </message>
    <message>
        <source>电池电量：</source>
        <translation>Charge:</translation>
    </message>
    <message>
        <source>用户设置</source>
        <translation>User settings</translation>
    </message>
    <message>
        <source>地    址：</source>
        <translation>Address:</translation>
    </message>
    <message>
        <source>波 特 率：</source>
        <translation>Baud rate:</translation>
    </message>
    <message>
        <source>校 验 位：</source>
        <translation>Parity:</translation>
    </message>
    <message>
        <source>压力单位：</source>
        <translation>Pressure unit:</translation>
    </message>
    <message>
        <source>压力小数点：</source>
        <translation>Pressure decimals:</translation>
    </message>
    <message>
        <source>压力增益值：</source>
        <translation>Pressure gain:</translation>
    </message>
    <message>
        <source>压力偏移值：</source>
        <translation>Pressure offset:</translation>
    </message>
    <message>
        <source>密度(g/cm3)：</source>
        <translation>Density (g/cm3):</translation>
    </message>
    <message>
        <source>采集周期(S)：</source>
        <translation>Sample period (s):</translation>
    </message>
    <message>
        <source>背光时间(S)：</source>
        <translation>Backlight (s):</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>常亮</source>
        <translation>Always on</translation>
    </message>
    <message>
        <source>显示切换时间(S)：</source>
        <translation>Display switch (s):</translation>
    </message>
    <message>
        <source>温度单位：</source>
        <translation>Temp. unit:</translation>
    </message>
    <message>
        <source>温度小数点：</source>
        <translation>Temp. decimals:</translation>
    </message>
    <message>
        <source>ADC 速率：</source>
        <translation>ADC rate:</translation>
    </message>
    <message>
        <source>重力加速度：</source>
        <translation>Gravity:</translation>
    </message>
    <message>
        <source>写入</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>压力二次校准</source>
        <translation>Pressure secondary calibration</translation>
    </message>
    <message>
        <source>单位：</source>
        <translation>Unit:</translation>
    </message>
    <message>
        <source>第一点</source>
        <translation>Point 1</translation>
    </message>
    <message>
        <source>第二点</source>
        <translation>Point 2</translation>
    </message>
    <message>
        <source>标准值</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>采集值</source>
        <translation>Captured</translation>
    </message>
    <message>
        <source>采集</source>
        <translation>Capture</translation>
    </message>
    <message>
        <source>温度二次校准</source>
        <translation>Temperature secondary calibration</translation>
    </message>
    <message>
        <source>清零</source>
        <translation>Zero</translation>
    </message>
    <message>
        <source>反清零</source>
        <translation>Clear zero</translation>
    </message>
    <message>
        <source>恢复出厂</source>
        <translation>Restore factory settings</translation>
    </message>
    <message>
        <source>工厂校准&gt;&gt;</source>
        <translation>Factory calibration &gt;&gt;</translation>
    </message>
    <message>
        <source>仪表参数设置</source>
        <translation>Meter parameters</translation>
    </message>
    <message>
        <source>单独压力</source>
        <translation>Pressure</translation>
    </message>
    <message>
        <source>单独温度</source>
        <translation>Temp.</translation>
    </message>
    <message>
        <source>温压一体</source>
        <translation>P + T</translation>
    </message>
    <message>
        <source>压力校准</source>
        <translation>Pressure calibration</translation>
    </message>
    <message>
        <source>量      程：</source>
        <translation>Range:</translation>
    </message>
    <message>
        <source> ～</source>
        <translation> ~</translation>
    </message>
    <message>
        <source>读取数据</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>ADC增益：</source>
        <translation>Gain:</translation>
    </message>
    <message>
        <source>零点屏蔽(‰)：</source>
        <translation>Cut-off (‰):</translation>
    </message>
    <message>
        <source>写入数据</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>标准值单位：</source>
        <translation>Std. unit:</translation>
    </message>
    <message>
        <source>校准点数：</source>
        <translation>Points:</translation>
    </message>
    <message>
        <source>按量程均分</source>
        <translation>Even split</translation>
    </message>
    <message>
        <source>ADC值：</source>
        <translation>ADC:</translation>
    </message>
    <message>
        <source>第三点</source>
        <translation>Point 3</translation>
    </message>
    <message>
        <source>第四点</source>
        <translation>Point 4</translation>
    </message>
    <message>
        <source>第五点</source>
        <translation>Point 5</translation>
    </message>
    <message>
        <source>温度校准</source>
        <translation>Temperature calibration</translation>
    </message>
    <message>
        <source>&lt;&lt;仪表信息</source>
        <translation>&lt;&lt; Meter info</translation>
    </message>
    <message>
        <source>读取全部数据</source>
        <translation>Read all</translation>
    </message>
    <message>
        <source>写入全部数据</source>
        <translation>Write all</translation>
    </message>
    <message>
        <source>工厂保存数据</source>
        <translation>Save to factory</translation>
    </message>
    <message>
        <source>寄存器组态&gt;&gt;</source>
        <translation>Registers &gt;&gt;</translation>
    </message>
    <message>
        <source>寄存器组态</source>
        <translation>Register configuration</translation>
    </message>
    <message>
        <source>参数名</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>自定义数据</source>
        <translation>Custom value</translation>
    </message>
    <message>
        <source>连续50个寄存器</source>
        <translation>50 registers</translation>
    </message>
    <message>
        <source>起始地址：</source>
        <translation>Start address:</translation>
    </message>
    <message>
        <source>数据：</source>
        <translation>Text:</translation>
    </message>
    <message>
        <source>&lt;&lt;工厂校准</source>
        <translation>&lt;&lt; Factory calibration</translation>
    </message>
    <message>
        <source>当前连接：未连接</source>
        <translation>Not connected</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>未连接</source>
        <translation>Not connected</translation>
    </message>
    <message>
        <source>端口打开失败</source>
        <translation>Cannot open the port</translation>
    </message>
    <message>
        <source>端口打开失败，请检查端口号是否正确或端口是否占用！</source>
        <translation>Cannot open the port. Check that the port is the right one and that no other program uses it.</translation>
    </message>
    <message>
        <source>请选择端口号</source>
        <translation>Choose a port</translation>
    </message>
    <message>
        <source>请选择端口号！</source>
        <translation>Choose a port.</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>断开连接</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>请选择地址</source>
        <translation>Choose an address</translation>
    </message>
    <message>
        <source>请选择地址！</source>
        <translation>Choose an address.</translation>
    </message>
    <message>
        <source>当前连接：%1,%2,%3,8,1</source>
        <translation>Port: %1,%2,%3,8,1</translation>
    </message>
    <message>
        <source>当前连接：%1</source>
        <translation>Port: %1</translation>
    </message>
    <message>
        <source>当前连接：%1,%2,%3,8,1,地址：%4</source>
        <translation>Addr. %4 at %1,%2,%3,8,1</translation>
    </message>
    <message>
        <source>浮点压力值低16位</source>
        <translation>Pressure float, low</translation>
    </message>
    <message>
        <source>浮点压力值高16位</source>
        <translation>Pressure float, high</translation>
    </message>
    <message>
        <source>浮点温度值低16位</source>
        <translation>Temp. float, low</translation>
    </message>
    <message>
        <source>浮点温度值高16位</source>
        <translation>Temp. float, high</translation>
    </message>
    <message>
        <source>整型压力值</source>
        <translation>Pressure integer</translation>
    </message>
    <message>
        <source>整型温度值</source>
        <translation>Temp. integer</translation>
    </message>
    <message>
        <source>电池电压</source>
        <translation>Battery voltage</translation>
    </message>
    <message>
        <source>电池电量</source>
        <translation>Battery charge</translation>
    </message>
    <message>
        <source>波特率</source>
        <translation>Baud rate</translation>
    </message>
    <message>
        <source>校验位</source>
        <translation>Parity</translation>
    </message>
    <message>
        <source>压力小数位</source>
        <translation>Pressure decimals</translation>
    </message>
    <message>
        <source>压力单位</source>
        <translation>Pressure unit</translation>
    </message>
    <message>
        <source>温度小数位</source>
        <translation>Temp. decimals</translation>
    </message>
    <message>
        <source>温度单位</source>
        <translation>Temp. unit</translation>
    </message>
    <message>
        <source>压力增益系数低16位</source>
        <translation>Pressure gain, low</translation>
    </message>
    <message>
        <source>压力增益系数高16位</source>
        <translation>Pressure gain, high</translation>
    </message>
    <message>
        <source>压力偏移值低16位</source>
        <translation>P offset, low</translation>
    </message>
    <message>
        <source>压力偏移值高16位</source>
        <translation>P offset, high</translation>
    </message>
    <message>
        <source>密度低16位</source>
        <translation>Density, low</translation>
    </message>
    <message>
        <source>密度高16位</source>
        <translation>Density, high</translation>
    </message>
    <message>
        <source>重力加速度低16位</source>
        <translation>Gravity, low</translation>
    </message>
    <message>
        <source>重力加速度高16位</source>
        <translation>Gravity, high</translation>
    </message>
    <message>
        <source>自定义数据10进制</source>
        <translation>Custom, decimal</translation>
    </message>
    <message>
        <source>自定义数据16进制</source>
        <translation>Custom, hex</translation>
    </message>
    <message>
        <source>自定义数据字符型</source>
        <translation>Custom, text</translation>
    </message>
    <message>
        <source>选择文件</source>
        <translation>Choose a file</translation>
    </message>
    <message>
        <source>qvdbk文件(*.qvdbk)</source>
        <translation>Backup files (*.qvdbk)</translation>
    </message>
    <message>
        <source>备份数据完成</source>
        <translation>Backup saved</translation>
    </message>
    <message>
        <source>备份数据失败</source>
        <translation>Backup failed</translation>
    </message>
    <message>
        <source>数据备份文件打开失败！</source>
        <translation>Cannot open the backup file.</translation>
    </message>
    <message>
        <source>备份数据已经被损坏！</source>
        <translation>The backup file is damaged.</translation>
    </message>
    <message>
        <source>读取备份数据完成</source>
        <translation>Backup loaded</translation>
    </message>
    <message>
        <source>板卡型号：KV-3PD</source>
        <translation>Board model: KV-3PD</translation>
    </message>
    <message>
        <source>仪表编号：%1</source>
        <translation>Meter number: %1</translation>
    </message>
    <message>
        <source>仪表类型：单独压力</source>
        <translation>Meter type: pressure</translation>
    </message>
    <message>
        <source>仪表量程：%1~%2%3</source>
        <translation>Meter range: %1~%2%3</translation>
    </message>
    <message>
        <source>仪表类型：单独温度</source>
        <translation>Meter type: temperature</translation>
    </message>
    <message>
        <source>仪表类型：温压一体</source>
        <translation>Meter type: pressure + temp.</translation>
    </message>
    <message>
        <source>仪表量程：%1~%2%3，%4~%5%6</source>
        <translation>Meter range: %1~%2%3, %4~%5%6</translation>
    </message>
    <message>
        <source>软件版本：%1</source>
        <translation>Firmware version: %1</translation>
    </message>
    <message>
        <source>压力</source>
        <translation>Pressure</translation>
    </message>
    <message>
        <source>温度</source>
        <translation>Temperature</translation>
    </message>
    <message>
        <source>%1量程下限</source>
        <translation>%1 range low</translation>
    </message>
    <message>
        <source>%1量程上限</source>
        <translation>%1 range high</translation>
    </message>
    <message>
        <source>%1标准值%2</source>
        <translation>%1 standard %2</translation>
    </message>
    <message>
        <source>%1采集值%2</source>
        <translation>%1 captured %2</translation>
    </message>
    <message>
        <source>校准点无效</source>
        <translation>Invalid calibration points</translation>
    </message>
    <message>
        <source>校准点无效，请检查采集值和标准值！</source>
        <translation>Invalid calibration points. Check the captured and standard values.</translation>
    </message>
    <message>
        <source>单位无法换算</source>
        <translation>Units cannot be converted</translation>
    </message>
    <message>
        <source>量程单位无法换算为标准值单位，请检查单位设置！</source>
        <translation>The range unit cannot be converted into the standard unit. Check the unit settings.</translation>
    </message>
    <message>
        <source>电阻=%1Ω</source>
        <translation>Resistance=%1Ω</translation>
    </message>
    <message>
        <source>仪表未连接，命令未执行</source>
        <translation>Meter not connected, command not run</translation>
    </message>
    <message>
        <source>数值无效</source>
        <translation>Invalid value</translation>
    </message>
    <message>
        <source>数值无效：%1</source>
        <translation>Invalid value: %1</translation>
    </message>
    <message>
        <source>未执行的命令已取消</source>
        <translation>Pending commands cancelled</translation>
    </message>
    <message>
        <source>当前搜索地址：%1</source>
        <translation>Searching address %1</translation>
    </message>
    <message>
        <source>搜索完成</source>
        <translation>Search finished</translation>
    </message>
    <message>
        <source>搜索停止</source>
        <translation>Search stopped</translation>
    </message>
    <message>
        <source>已断开连接</source>
        <translation>Disconnected</translation>
    </message>
    <message>
        <source>连接成功</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>已载入备份数据，未读取仪表</source>
        <translation>Backup loaded, meter not read</translation>
    </message>
    <message>
        <source>连接失败</source>
        <translation>Connection failed</translation>
    </message>
    <message>
        <source>板卡固件版本太低，请使用V0.4版本的调试软件！</source>
        <translation>The board&apos;s firmware is too old. Use version V0.4 of the configuration tool.</translation>
    </message>
    <message>
        <source>读取仪表参数成功</source>
        <translation>Meter parameters read</translation>
    </message>
    <message>
        <source>读取设置数据成功</source>
        <translation>Settings read</translation>
    </message>
    <message>
        <source>写入设置数据成功</source>
        <translation>Settings written</translation>
    </message>
    <message>
        <source>读取压力校准数据成功</source>
        <translation>Pressure calibration read</translation>
    </message>
    <message>
        <source>读取温度校准数据成功</source>
        <translation>Temperature calibration read</translation>
    </message>
    <message>
        <source>读取仪表信息成功</source>
        <translation>Meter information read</translation>
    </message>
    <message>
        <source>写入压力校准数据成功</source>
        <translation>Pressure calibration written</translation>
    </message>
    <message>
        <source>写入温度校准数据成功</source>
        <translation>Temperature calibration written</translation>
    </message>
    <message>
        <source>读取压力二次校准数据成功</source>
        <translation>Pressure secondary calibration read</translation>
    </message>
    <message>
        <source>读取温度二次校准数据成功</source>
        <translation>Temperature secondary calibration read</translation>
    </message>
    <message>
        <source>读取寄存器组态数据成功</source>
        <translation>Register configuration read</translation>
    </message>
    <message>
        <source>全部读取成功</source>
        <translation>All data read</translation>
    </message>
    <message>
        <source>全部写入成功</source>
        <translation>All data written</translation>
    </message>
    <message>
        <source>恢复出厂成功</source>
        <translation>Factory settings restored</translation>
    </message>
    <message>
        <source>保存成功</source>
        <translation>Saved</translation>
    </message>
    <message>
        <source>读取仪表参数失败</source>
        <translation>Reading the meter parameters failed</translation>
    </message>
    <message>
        <source>写入仪表参数成功</source>
        <translation>Meter parameters written</translation>
    </message>
    <message>
        <source>写入仪表参数失败</source>
        <translation>Writing the meter parameters failed</translation>
    </message>
    <message>
        <source>读取设置数据失败</source>
        <translation>Reading the settings failed</translation>
    </message>
    <message>
        <source>写入设置数据失败</source>
        <translation>Writing the settings failed</translation>
    </message>
    <message>
        <source>读取压力校准数据失败</source>
        <translation>Reading the pressure calibration failed</translation>
    </message>
    <message>
        <source>读取温度校准数据失败</source>
        <translation>Reading the temperature calibration failed</translation>
    </message>
    <message>
        <source>读取仪表信息失败</source>
        <translation>Reading the meter information failed</translation>
    </message>
    <message>
        <source>写入压力校准数据失败</source>
        <translation>Writing the pressure calibration failed</translation>
    </message>
    <message>
        <source>写入温度校准数据失败</source>
        <translation>Writing the temperature calibration failed</translation>
    </message>
    <message>
        <source>读取压力二次校准数据失败</source>
        <translation>Reading the pressure secondary calibration failed</translation>
    </message>
    <message>
        <source>写入压力二次校准数据成功</source>
        <translation>Pressure secondary calibration written</translation>
    </message>
    <message>
        <source>写入压力二次校准数据失败</source>
        <translation>Writing the pressure secondary calibration failed</translation>
    </message>
    <message>
        <source>读取温度二次校准数据失败</source>
        <translation>Reading the temperature secondary calibration failed</translation>
    </message>
    <message>
        <source>写入温度二次校准数据成功</source>
        <translation>Temperature secondary calibration written</translation>
    </message>
    <message>
        <source>写入温度二次校准数据失败</source>
        <translation>Writing the temperature secondary calibration failed</translation>
    </message>
    <message>
        <source>读取寄存器组态数据失败</source>
        <translation>Reading the register configuration failed</translation>
    </message>
    <message>
        <source>写入寄存器组态数据成功</source>
        <translation>Register configuration written</translation>
    </message>
    <message>
        <source>写入寄存器组态数据失败</source>
        <translation>Writing the register configuration failed</translation>
    </message>
    <message>
        <source>全部读取失败</source>
        <translation>Reading all data failed</translation>
    </message>
    <message>
        <source>全部写入失败</source>
        <translation>Writing all data failed</translation>
    </message>
    <message>
        <source>操作成功</source>
        <translation>Operation succeeded</translation>
    </message>
    <message>
        <source>操作失败</source>
        <translation>Operation failed</translation>
    </message>
    <message>
        <source>正在恢复出厂...</source>
        <translation>Restoring factory settings...</translation>
    </message>
    <message>
        <source>恢复出厂失败</source>
        <translation>Restoring factory settings failed</translation>
    </message>
    <message>
        <source>正在保存...</source>
        <translation>Saving...</translation>
    </message>
    <message>
        <source>保存失败</source>
        <translation>Saving failed</translation>
    </message>
    <message>
        <source>！</source>
        <translation>.</translation>
    </message>
    <message>
        <source>单位：%1</source>
        <translation>Unit: %1</translation>
    </message>
    <message>
        <source>%1二次校准标准值1</source>
        <translation>%1 secondary standard 1</translation>
    </message>
    <message>
        <source>%1二次校准标准值2</source>
        <translation>%1 secondary standard 2</translation>
    </message>
    <message>
        <source>%1二次校准采集值1</source>
        <translation>%1 secondary captured 1</translation>
    </message>
    <message>
        <source>%1二次校准采集值2</source>
        <translation>%1 secondary captured 2</translation>
    </message>
    <message>
        <source>压力零点采集值</source>
        <translation>Pressure zero reading</translation>
    </message>
    <message>
        <source>压力增益值</source>
        <translation>Pressure gain</translation>
    </message>
    <message>
        <source>压力偏移值</source>
        <translation>Pressure offset</translation>
    </message>
    <message>
        <source>密度</source>
        <translation>Density</translation>
    </message>
    <message>
        <source>重力加速度</source>
        <translation>Gravity</translation>
    </message>
    <message>
        <source>地址无效</source>
        <translation>Invalid address</translation>
    </message>
    <message>
        <source>仪表地址必须是1到255之间的整数！</source>
        <translation>The meter address must be a whole number from 1 to 255.</translation>
    </message>
    <message>
        <source>KV-3PD用户调试软件V0.5</source>
        <translation>KV-3PD Configuration Tool V0.5</translation>
    </message>
    <message>
        <source>备份数据到电脑</source>
        <translation>Back up data to the computer</translation>
    </message>
    <message>
        <source>读取备份数据</source>
        <translation>Load backup data</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>端口打开失败 无权限：请把用户加入 dialout 组</source>
        <translation>Cannot open the port: no permission. Add the user to the dialout group</translation>
    </message>
    <message>
        <source>串口已断开</source>
        <translation>Serial port lost</translation>
    </message>
    <message>
        <source>串口已断开：%1</source>
        <translation>Serial port lost: %1</translation>
    </message>
    <message>
        <source>串口已断开，请检查串口线或USB转换器！</source>
        <translation>The serial port was lost. Check the cable or the USB adapter.</translation>
    </message>
    <message>
        <source>串口已恢复</source>
        <translation>Serial port restored</translation>
    </message>
    <message>
        <source>打开通信监视：串口上的每一帧</source>
        <translation>Open the traffic monitor: every frame on the serial line</translation>
    </message>
    <message>
        <source>通信监视</source>
        <translation>Traffic monitor</translation>
    </message>
    <message>
        <source>打开趋势曲线：压力和温度随时间的变化</source>
        <translation>Open the trend: pressure and temperature over time</translation>
    </message>
    <message>
        <source>趋势曲线</source>
        <translation>Trend</translation>
    </message>
    <message>
        <source>点击查看最近的消息</source>
        <translation>Click to see the recent messages</translation>
    </message>
    <message>
        <source>没有可备份的数据</source>
        <translation>No data to back up</translation>
    </message>
    <message>
        <source>写入仪表参数</source>
        <translation>Write meter parameters</translation>
    </message>
    <message>
        <source>写入设置数据</source>
        <translation>Write settings</translation>
    </message>
    <message>
        <source>写入压力校准数据</source>
        <translation>Write pressure calibration</translation>
    </message>
    <message>
        <source>写入温度校准数据</source>
        <translation>Write temperature calibration</translation>
    </message>
    <message>
        <source>写入压力二次校准数据</source>
        <translation>Write pressure secondary calibration</translation>
    </message>
    <message>
        <source>写入温度二次校准数据</source>
        <translation>Write temperature secondary calibration</translation>
    </message>
    <message>
        <source>写入寄存器组态数据</source>
        <translation>Write register configuration</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>清零/反清零</source>
        <translation>Zero/Clear zero</translation>
    </message>
    <message>
        <source>先读取本页数据</source>
        <translation>Read this page first</translation>
    </message>
    <message>
        <source>仪表未连接</source>
        <translation>Meter not connected</translation>
    </message>
    <message>
        <source>另一台仪表的数据</source>
        <translation>Data of another meter</translation>
    </message>
    <message>
        <source>检测到另一台仪表：%1</source>
        <translation>Another meter detected: %1</translation>
    </message>
    <message>
        <source>备份文件属于另一台仪表：文件的仪表编号为 %1，当前仪表编号为 %2。文件中的仪表参数和校准数据不会写入当前仪表；写入全部数据时，当前仪表保留自己的仪表参数、校准数据和通讯设置。</source>
        <translation>The backup file belongs to another meter: meter number %1 in the file, %2 connected. The file&apos;s meter parameters and calibration are not written to the connected meter; Write all keeps its own meter parameters, calibration and communication settings.</translation>
    </message>
    <message>
        <source>未执行的写入已取消：%1</source>
        <translation>Writes not carried out were cancelled: %1</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>仪表编号未确认，命令未执行</source>
        <translation>Meter number not confirmed, command not run</translation>
    </message>
    <message>
        <source>%1，命令未执行</source>
        <translation>%1, command not run</translation>
    </message>
    <message>
        <source>对比备份数据</source>
        <translation>Compare with a backup</translation>
    </message>
    <message>
        <source>打开校准向导：调整前检查、调整、调整后检查，结果存入校准记录</source>
        <translation>Open the calibration wizard: as found, adjust, as left, every result kept in the records</translation>
    </message>
    <message>
        <source>校准向导</source>
        <translation>Calibrate</translation>
    </message>
</context>
<context>
    <name>MessageWindow</name>
    <message>
        <source>消息记录</source>
        <translation>Messages</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Kind</translation>
    </message>
    <message>
        <source>消息</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
</context>
<context>
    <name>TrafficLog</name>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>方向</source>
        <translation>Dir.</translation>
    </message>
    <message>
        <source>从站</source>
        <translation>Slave</translation>
    </message>
    <message>
        <source>功能</source>
        <translation>Function</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>数量/值</source>
        <translation>Count/value</translation>
    </message>
    <message>
        <source>长度</source>
        <translation>Length</translation>
    </message>
    <message>
        <source>字节</source>
        <translation>Bytes</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
</context>
<context>
    <name>TrafficMonitor</name>
    <message>
        <source>通信监视</source>
        <translation>Traffic monitor</translation>
    </message>
    <message>
        <source>计数清零</source>
        <translation>Reset counters</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>清空</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>保存CSV</source>
        <translation>Save CSV</translation>
    </message>
    <message>
        <source>继续</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>保存通信记录</source>
        <translation>Save the traffic log</translation>
    </message>
    <message>
        <source>CSV (*.csv)</source>
        <translation>CSV (*.csv)</translation>
    </message>
    <message>
        <source>请求 %1  正常应答 %2  超时 %3  CRC错误 %4  异常 %5  外来 %6  噪声 %7  成功率 %8%</source>
        <translation>Requests %1  good replies %2  timeouts %3  CRC errors %4  exceptions %5  foreign %6  noise %7  success %8%</translation>
    </message>
    <message>
        <source>最多保留 %1 行</source>
        <translation>Keeps at most %1 rows</translation>
    </message>
    <message>
        <source>，已丢弃最早的 %1 行</source>
        <translation>, dropped the oldest %1</translation>
    </message>
    <message>
        <source>保存失败：%1</source>
        <translation>Save failed: %1</translation>
    </message>
</context>
<context>
    <name>TrendWindow</name>
    <message>
        <source>趋势曲线</source>
        <translation>Trend</translation>
    </message>
    <message>
        <source>1 分钟</source>
        <translation>1 min</translation>
    </message>
    <message>
        <source>10 分钟</source>
        <translation>10 min</translation>
    </message>
    <message>
        <source>1 小时</source>
        <translation>1 h</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>开始记录</source>
        <translation>Start recording</translation>
    </message>
    <message>
        <source>时间跨度</source>
        <translation>Time span</translation>
    </message>
    <message>
        <source>继续</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>记录已停止，写入失败：%1</source>
        <translation>Recording stopped, write failed: %1</translation>
    </message>
    <message>
        <source>压力</source>
        <translation>Pressure</translation>
    </message>
    <message>
        <source>温度</source>
        <translation>Temperature</translation>
    </message>
    <message>
        <source>%1：无数据</source>
        <translation>%1: no data</translation>
    </message>
    <message>
        <source>已记录 %1 行</source>
        <translation>%1 rows recorded</translation>
    </message>
    <message>
        <source>记录到CSV文件</source>
        <translation>Record to a CSV file</translation>
    </message>
    <message>
        <source>CSV (*.csv)</source>
        <translation>CSV (*.csv)</translation>
    </message>
    <message>
        <source>无法记录：%1</source>
        <translation>Cannot record: %1</translation>
    </message>
    <message>
        <source>停止记录</source>
        <translation>Stop recording</translation>
    </message>
    <message>
        <source>记录中：%1</source>
        <translation>Recording: %1</translation>
    </message>
    <message>
        <source>%1：最新 %2  最小 %3  最大 %4  平均 %5  标准差 %6  样本数 %7</source>
        <translation>%1: last %2  min %3  max %4  mean %5  std. dev. %6  samples %7</translation>
    </message>
    <message>
        <source>记录失败：%1</source>
        <translation>Recording failed: %1</translation>
    </message>
</context>
</TS>
